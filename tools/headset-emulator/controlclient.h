#pragma once

// Sends one control command to a running headset emulator and returns its answer line
// ("ok" or "error: <why>"), or an "error: ..." of its own when the socket cannot be
// reached. Header-only and free of Qt, for headset-emulator-ctl and the tests.

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace emulator
{

inline std::string sendControlCommand(const std::string &socketPath, const std::string &command)
{
    sockaddr_un address{};
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path)
        return "error: bad socket path \"" + socketPath + "\"";
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::string("error: ") + std::strerror(errno);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        const std::string why = std::strerror(errno);
        close(fd);
        return "error: cannot reach the emulator at " + socketPath + ": " + why;
    }
    const std::string line = command + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        close(fd);
        return "error: the emulator closed the connection";
    }
    std::string answer;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n')
        answer += c;
    close(fd);
    return answer.empty() ? "error: no answer from the emulator" : answer;
}

} // namespace emulator
