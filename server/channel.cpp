#include "channel.h"

#include <sys/socket.h>
#include <unistd.h>
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
    iovec whole{packet, sizeof header + textBytes};
    msghdr sending{};
    sending.msg_iov = &whole;
    sending.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (message.descriptor >= 0) {
        sending.msg_control = control;
        sending.msg_controllen = sizeof control;
        cmsghdr* passed = CMSG_FIRSTHDR(&sending);
        passed->cmsg_level = SOL_SOCKET;
        passed->cmsg_type = SCM_RIGHTS;
        passed->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(passed), &message.descriptor, sizeof(int));
    }
    ssize_t sent;
    do {
        sent = sendmsg(channel, &sending, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof header + textBytes);
}

bool receiveMessage(int channel, Message& message) {
    char packet[sizeof(Header) + messageTextBytes];
    iovec whole{packet, sizeof packet};
    msghdr receiving{};
    receiving.msg_iov = &whole;
    receiving.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    receiving.msg_control = control;
    receiving.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = recvmsg(channel, &receiving, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    message.descriptor = -1;
    cmsghdr* passed = got > 0 ? CMSG_FIRSTHDR(&receiving) : nullptr;
    if (passed != nullptr && passed->cmsg_level == SOL_SOCKET && passed->cmsg_type == SCM_RIGHTS &&
        passed->cmsg_len == CMSG_LEN(sizeof(int))) {
        std::memcpy(&message.descriptor, CMSG_DATA(passed), sizeof(int));
    }
    if (got < static_cast<ssize_t>(sizeof(Header))) {
        if (message.descriptor >= 0) {
            close(message.descriptor);
        }
        return false;
    }
    Header header;
    std::memcpy(&header, packet, sizeof header);
    if (header.note > static_cast<std::uint8_t>(Note::ended) ||
        (header.family != 0 && header.family != AF_INET && header.family != AF_INET6)) {
        if (message.descriptor >= 0) {
            close(message.descriptor);
            message.descriptor = -1;
        }
        return false;
    }
    message.note = static_cast<Note>(header.note);
    message.address.family = header.family;
    std::memcpy(message.address.bytes, header.address, sizeof header.address);
    std::copy(std::begin(header.numbers), std::end(header.numbers), message.numbers);
    message.text.assign(packet + sizeof header, static_cast<size_t>(got) - sizeof header);
    return true;
}
