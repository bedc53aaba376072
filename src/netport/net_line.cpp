#include "netport/net_line.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <linux/sockios.h>

namespace trx::net {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

Error port_error(std::string why) {
    return Error{ErrorKind::port, std::move(why)};
}

std::string seconds(milliseconds ms) {
    const auto tenths = ms.count() / 100;
    return std::to_string(tenths / 10) +
           (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " s";
}

int left_ms(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// One wait's own bound, cut to what is left of the whole open.
milliseconds capped(milliseconds bound, Clock::time_point until) {
    if (until == Clock::time_point::max()) {
        return bound;
    }
    return std::min(bound, milliseconds(left_ms(until)));
}

// The resolver in the background, so that a dead name server cannot hold the open beyond its
// bound. A request still running at the bound cannot be taken back: its memory is left to it.
Result<addrinfo*> resolve(const NetAddress& a, milliseconds bound) {
    struct Request {
        std::string host;
        std::string service;
        addrinfo hints{};
        gaicb cb{};
    };
    auto req = std::make_unique<Request>();
    req->host = a.host;
    req->service = std::to_string(a.port);
    req->hints.ai_family = AF_UNSPEC;
    req->hints.ai_socktype = SOCK_STREAM;
    req->hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    req->cb.ar_name = req->host.c_str();
    req->cb.ar_service = req->service.c_str();
    req->cb.ar_request = &req->hints;
    std::array<gaicb*, 1> list{&req->cb};
    if (getaddrinfo_a(GAI_NOWAIT, list.data(), 1, nullptr) != 0) {
        return port_error("The host name " + a.host + " could not be looked up");
    }
    const auto deadline = Clock::now() + bound;
    int rc = EAI_INPROGRESS;
    while ((rc = gai_error(&req->cb)) == EAI_INPROGRESS && Clock::now() < deadline) {
        const int ms = left_ms(deadline);
        const timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
        const std::array<const gaicb*, 1> wait{&req->cb};
        (void)gai_suspend(wait.data(), 1, &ts);
    }
    if (rc == EAI_INPROGRESS) {
        if (gai_cancel(&req->cb) != EAI_CANCELED) {
            (void)req.release();
        }
        return port_error("Looking up the host name " + a.host + " took longer than " +
                          seconds(bound) + " (is a name server reachable?)");
    }
    if (rc != 0) {
        const bool unknown = rc == EAI_NONAME || rc == EAI_NODATA || rc == EAI_FAIL;
        return port_error("The host name " + a.host +
                          (unknown ? " is not known" : " could not be looked up") + " (" +
                          gai_strerror(rc) + ")");
    }
    return req->cb.ar_result;
}

// One address, within the deadline: the socket, or errno (ETIMEDOUT at the bound).
int connect_one(const addrinfo& ai, Clock::time_point deadline, int& error) {
    const int fd =
        ::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) == 0) {
        return fd;
    }
    if (errno != EINPROGRESS) {
        error = errno;
        ::close(fd);
        return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    int r = 0;
    while ((r = ::poll(&p, 1, left_ms(deadline))) < 0 && errno == EINTR) {
    }
    if (r <= 0) {
        error = ETIMEDOUT;
        ::close(fd);
        return -1;
    }
    int so_error = 0;
    socklen_t len = sizeof so_error;
    (void)::getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &len);
    if (so_error != 0) {
        error = so_error;
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string connect_reason(const NetAddress& a, int error, milliseconds bound) {
    switch (error) {
    case ECONNREFUSED:
        return a.endpoint() + " refused the connection: nothing listens on that port";
    case ETIMEDOUT:
        return a.endpoint() + " did not answer within " + seconds(bound) +
               " (host switched off, or a firewall between)";
    case ENETUNREACH:
    case EHOSTUNREACH:
        return a.endpoint() + " cannot be reached from this computer (" + std::strerror(error) +
               ")";
    default:
        return "Cannot connect to " + a.endpoint() + " (" + std::strerror(error) + ")";
    }
}

Result<int> connect_bounded(const NetAddress& a, const NetTiming& t, Clock::time_point until) {
    auto found = resolve(a, capped(t.resolve, until));
    if (!found) {
        return found.error();
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(*found, &freeaddrinfo);
    const milliseconds bound = capped(t.connect, until);
    const auto deadline = Clock::now() + bound;
    int error = ECONNREFUSED;
    for (const addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
        const int fd = connect_one(*ai, deadline, error);
        if (fd >= 0) {
            const int one = 1;
            (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        if (left_ms(deadline) == 0) {
            break;
        }
    }
    return port_error(connect_reason(a, error, bound));
}

} // namespace

NetTiming NetTiming::reconnect() {
    NetTiming t;
    t.resolve = milliseconds(2000);
    t.connect = milliseconds(2000);
    t.telnet_answer = milliseconds(2000);
    t.whole = milliseconds(3000);
    return t;
}

NetLine::NetLine(int fd, NetAddress address, const NetTiming& timing)
    : fd_(fd), address_(std::move(address)), timing_(timing) {}

NetLine::~NetLine() {
    ::close(fd_);
}

Result<std::unique_ptr<NetLine>> NetLine::open(const NetAddress& address, std::uint32_t baud,
                                               const NetTiming& timing) {
    const auto until =
        timing.whole.count() > 0 ? Clock::now() + timing.whole : Clock::time_point::max();
    const auto fd = connect_bounded(address, timing, until);
    if (!fd) {
        return fd.error();
    }
    std::unique_ptr<NetLine> line(new NetLine(*fd, address, timing));
    if (address.kind == NetKind::raw_tcp) {
        return line;
    }
    if (auto ok = line->negotiate(baud, until); !ok) {
        return ok.error();
    }
    return line;
}

template <class Until> bool NetLine::pump(milliseconds timeout, Until until) {
    const auto deadline = Clock::now() + timeout;
    while (!until()) {
        if (left_ms(deadline) == 0) {
            return true;
        }
        wait_readable(milliseconds(left_ms(deadline)));
        if (!receive(early_)) {
            return false;
        }
    }
    return true;
}

Result<Done> NetLine::negotiate(std::uint32_t baud, Clock::time_point until) {
    codec_.emplace();
    const std::string where = address_.endpoint();
    if (!send_raw(codec_->start())) {
        return port_error(failure_);
    }
    using ComPort = Rfc2217Codec::ComPort;
    const milliseconds answer = capped(timing_.telnet_answer, until);
    if (!pump(answer, [&] { return codec_->com_port() != ComPort::asked; })) {
        return port_error(failure_ + (codec_->telnet_seen() ? "" : " (not a Telnet server?)"));
    }
    if (codec_->com_port() == ComPort::refused) {
        return port_error("The Telnet server at " + where +
                          " refuses the COM port option (RFC 2217)");
    }
    if (codec_->com_port() == ComPort::asked) {
        return port_error(
            codec_->telnet_seen()
                ? "The Telnet server at " + where +
                      " does not answer the COM port option (RFC 2217) within " + seconds(answer)
                : where + " does not speak Telnet (no RFC 2217 answer within " + seconds(answer) +
                      other_data() + "); a raw TCP port is socket://" + where);
    }
    if (!send_raw(Rfc2217Codec::line_settings(baud))) {
        return port_error(failure_);
    }
    if (!pump(capped(timing_.settings_answer, until),
              [&] { return codec_->answered(telnet::k_set_control).has_value(); })) {
        return port_error(failure_);
    }
    // Servers on devices without modem lines never confirm these: they are not waited for.
    if (!send_raw(Rfc2217Codec::control_lines_on())) {
        return port_error(failure_);
    }
    return Done{};
}

std::string NetLine::other_data() const {
    const auto n = codec_->data_before_telnet();
    return n == 0 ? std::string() : ", but " + std::to_string(n) + " bytes of other data";
}

bool NetLine::fail(std::string why) {
    failure_ = std::move(why);
    return false;
}

bool NetLine::send_raw(std::string_view bytes) {
    const auto deadline = Clock::now() + timing_.write;
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return fail("The connection to " + address_.endpoint() + " failed (" +
                        std::strerror(errno) + ")");
        }
        pollfd p{fd_, POLLOUT, 0};
        if (left_ms(deadline) == 0 || ::poll(&p, 1, left_ms(deadline)) <= 0) {
            return fail(address_.endpoint() + " takes no bytes (for " + seconds(timing_.write) +
                        ")");
        }
    }
    return true;
}

bool NetLine::write(std::string_view data) {
    return send_raw(codec_ ? codec_->encode(data) : std::string(data));
}

bool NetLine::receive(std::string& into) {
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (n == 0) {
            return fail(address_.endpoint() + " closed the connection");
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return true;
            }
            return fail("The connection to " + address_.endpoint() + " failed (" +
                        std::strerror(errno) + ")");
        }
        const std::string_view got(buffer.data(), static_cast<std::size_t>(n));
        if (!codec_) {
            into.append(got);
        } else {
            std::string reply;
            codec_->take(got, into, reply);
            if (!reply.empty() && !send_raw(reply)) {
                return false;
            }
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return true;
        }
    }
}

bool NetLine::read_available(std::string& into) {
    if (!early_.empty()) {
        into += early_;
        early_.clear();
    }
    return receive(into);
}

void NetLine::wait_readable(milliseconds timeout) const {
    pollfd p{fd_, POLLIN, 0};
    (void)::poll(&p, 1, static_cast<int>(timeout.count()));
}

std::size_t NetLine::unsent() const {
    int queued = 0;
    if (::ioctl(fd_, SIOCOUTQNSD, &queued) != 0 || queued < 0) {
        return 0;
    }
    return static_cast<std::size_t>(queued);
}

// The bytes written before go out at the old rate: the server takes the command only after
// them, and the socket holds none back by the time it is sent.
RateAnswer NetLine::set_baudrate(std::uint32_t baud) {
    if (!codec_) {
        return RateAnswer::unknown;
    }
    const auto drained = Clock::now() + timing_.write;
    while (unsent() > 0 && Clock::now() < drained) {
        wait_readable(milliseconds(1));
        if (!receive(early_)) {
            return RateAnswer::failed;
        }
    }
    codec_->forget(telnet::k_set_baudrate);
    if (!send_raw(Rfc2217Codec::set_baudrate(baud))) {
        return RateAnswer::failed;
    }
    if (!pump(timing_.rate_answer,
              [&] { return codec_->answered(telnet::k_set_baudrate).has_value(); })) {
        return RateAnswer::failed;
    }
    const auto answer = codec_->answered(telnet::k_set_baudrate);
    if (!answer) {
        return RateAnswer::unknown;
    }
    answered_rate_ = *answer;
    return *answer == baud ? RateAnswer::agreed : RateAnswer::other;
}

} // namespace trx::net
