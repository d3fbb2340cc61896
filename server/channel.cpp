#include "channel.h"

#include <sys/socket.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

struct Header {
    std::uint8_t note;
    std::uint8_t family;
    std::uint8_t address[16];
    std::uint8_t unused[6];
    std::int64_t numbers[limitCount];
};

}  // namespace

bool sendMessage(int channel, const Message& message) {
    char packet[sizeof(Header) + messageTextBytes];
    Header header{};
    header.note = static_cast<std::uint8_t>(message.note);
    header.family = static_cast<std::uint8_t>(message.address.family);
    std::memcpy(header.address, message.address.bytes, sizeof header.address);
    std::copy(std::begin(message.numbers), std::end(message.numbers), header.numbers);
    std::memcpy(packet, &header, sizeof header);
    size_t textBytes = std::min(message.text.size(), messageTextBytes);
    std::memcpy(packet + sizeof header, message.text.data(), textBytes);
    ssize_t sent;
    do {
        sent = send(channel, packet, sizeof header + textBytes, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof header + textBytes);
}

bool receiveMessage(int channel, Message& message) {
    char packet[sizeof(Header) + messageTextBytes];
    ssize_t got;
    do {
        got = recv(channel, packet, sizeof packet, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < static_cast<ssize_t>(sizeof(Header))) {
        return false;
    }
    Header header;
    std::memcpy(&header, packet, sizeof header);
    if (header.note > static_cast<std::uint8_t>(Note::ended) ||
        (header.family != 0 && header.family != AF_INET && header.family != AF_INET6)) {
        return false;
    }
    message.note = static_cast<Note>(header.note);
    message.address.family = header.family;
    std::memcpy(message.address.bytes, header.address, sizeof header.address);
    std::copy(std::begin(header.numbers), std::end(header.numbers), message.numbers);
    message.text.assign(packet + sizeof header, static_cast<size_t>(got) - sizeof header);
    return true;
}
