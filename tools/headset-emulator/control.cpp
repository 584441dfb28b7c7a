#include "controlserver.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace emulator
{

std::vector<std::string> commandWords(const std::string &line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

bool parseNumber(const std::string &word, int base, long low, long high, long &value)
{
    if (word.empty())
        return false;
    char *end = nullptr;
    value = std::strtol(word.c_str(), &end, base);
    return *end == '\0' && value >= low && value <= high;
}

struct ControlServer::Impl {
    std::string path;
    Handler handler;
    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    std::thread thread;
};

ControlServer::~ControlServer()
{
    stop();
}

bool ControlServer::start(const std::string &path, Handler handler, std::string &error)
{
    stop();
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error =
            "the socket path must have 1 to " + std::to_string(sizeof address.sun_path - 1) + " characters";
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    auto impl = new Impl;
    impl->path = path;
    impl->handler = std::move(handler);
    impl->listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl->listenFd < 0 || pipe2(impl->wakePipe, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        if (impl->listenFd >= 0)
            close(impl->listenFd);
        delete impl;
        return false;
    }
    unlink(path.c_str());
    if (bind(impl->listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(impl->listenFd, 8) != 0) {
        error = path + ": " + std::strerror(errno);
        close(impl->listenFd);
        close(impl->wakePipe[0]);
        close(impl->wakePipe[1]);
        delete impl;
        return false;
    }
    m_impl = impl;
    m_impl->thread = std::thread([this] { serve(); });
    return true;
}

void ControlServer::stop()
{
    if (!m_impl)
        return;
    const char wake = 'x';
    (void)!write(m_impl->wakePipe[1], &wake, 1);
    m_impl->thread.join();
    close(m_impl->listenFd);
    close(m_impl->wakePipe[0]);
    close(m_impl->wakePipe[1]);
    unlink(m_impl->path.c_str());
    delete m_impl;
    m_impl = nullptr;
}

// Any number of clients, each sending lines; every line gets one answer line.
void ControlServer::serve()
{
    std::map<int, std::string> clients; // descriptor -> text received but not yet a whole line
    for (;;) {
        std::vector<pollfd> fds = {{m_impl->wakePipe[0], POLLIN, 0}, {m_impl->listenFd, POLLIN, 0}};
        for (const auto &client : clients)
            fds.push_back({client.first, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            const int client = accept4(m_impl->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                clients[client];
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            const int fd = fds[i].fd;
            char chunk[512];
            const ssize_t got = read(fd, chunk, sizeof chunk);
            if (got <= 0) {
                close(fd);
                clients.erase(fd);
                continue;
            }
            std::string &pending = clients[fd];
            pending.append(chunk, static_cast<size_t>(got));
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                const std::string answer = m_impl->handler(line) + "\n";
                (void)!send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            if (pending.size() > 4096) { // no command is this long: a confused client
                close(fd);
                clients.erase(fd);
            }
        }
    }
    for (const auto &client : clients)
        close(client.first);
}

} // namespace emulator
