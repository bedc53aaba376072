// "Find scanner" in the port menu: the search the command line's --port auto makes, with its
// answers in boxes.
#include "main/main_window.hpp"
#include "main/program.hpp"

#include <algorithm>

namespace trx::main {

namespace {

constexpr const char* k_find_title = "Find scanner";

} // namespace

void MainWindow::find_scanner() {
    if (listener_ == nullptr || devices_ == nullptr) {
        return;
    }
    const auto candidates = service::search_candidates(*devices_);
    if (candidates.empty()) {
        dialogs_.message({"No scanner found: no serial device is present.",
                          k_find_title,
                          ui::Icon::warning,
                          {}});
        return;
    }
    // Up to a second of listening: the windows keep painting meanwhile.
    service::SearchOutcome outcome;
    pump_.run_blocking([&outcome, &candidates, this] {
        outcome = service::search_scanner(candidates, *listener_);
    });
    log_if(log_, LogLevel::info, log_category::main, [&] {
        return "find scanner: " + std::to_string(outcome.found().size()) + " of " +
               std::to_string(candidates.size()) + " ports deliver status frames";
    });
    const auto found = outcome.found();
    if (found.empty()) {
        dialogs_.message({"No scanner found. Ports tried:\n" + outcome.tried_lines(),
                          k_find_title,
                          ui::Icon::warning,
                          {}});
        return;
    }
    if (found.size() == 1) {
        take_found(found.front());
        return;
    }
    std::vector<std::string> names;
    for (const auto& f : found) {
        names.push_back(f.name);
    }
    const std::string text = "A scanner answers on each of these ports. Which one shall be opened?";
    if (choice_prompt_ == nullptr) {
        std::string list;
        for (const auto& n : names) {
            list += "\n  " + n;
        }
        dialogs_.message({text + list, k_find_title, ui::Icon::information, {}});
        return;
    }
    const std::string chosen = choice_prompt_->choose(k_find_title, text, names);
    const auto it =
        std::find_if(found.begin(), found.end(),
                     [&](const service::SearchCandidate& c) { return c.name == chosen; });
    if (it != found.end()) {
        take_found(*it);
    }
}

// The port found becomes the chosen one, as if picked from the menu, and is opened.
void MainWindow::take_found(const service::SearchCandidate& port) {
    port_.use_device();
    chosen_ = {port.name, false, port.by_id, {}};
    port_.set_port_name(port.name);
    form_.Toolbar1.set_caption(k_port_key, open_caption(chosen_.name));
    if (open_port()) {
        shared_.port_name = port_.port_name();
    }
}

} // namespace trx::main
