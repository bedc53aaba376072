// trx81500-icon FOLDER: writes the program's icon, drawn by the program's own logo code, as
// FOLDER/trx81500.svg and FOLDER/trx81500.png (256 pixels), for the desktop's menus. The build
// runs it, so the icon files are never kept in the sources.
#include "qt/logo.hpp"

#include <QImageWriter>

#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "usage: trx81500-icon FOLDER\n";
        return 2;
    }
    constexpr int k_side = 256;
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::ofstream svg(folder / "trx81500.svg", std::ios::binary | std::ios::trunc);
    svg << trx::ui::qt::icon_svg(k_side);
    svg.close();
    QImageWriter png(QString::fromStdString((folder / "trx81500.png").string()), "png");
    if (!svg || !png.write(trx::ui::qt::draw_icon(k_side))) {
        std::cerr << "trx81500-icon: cannot write the icon into " << folder << "\n";
        return 1;
    }
    return 0;
}
