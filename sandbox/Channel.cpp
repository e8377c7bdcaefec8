#include "sandbox/Channel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace mugrove::sandbox {

namespace {

// Room for the descriptors of one message and no more: more than that is
// cut off by the kernel (MSG_CTRUNC), which is how too many are noticed.
union ControlBuffer {
    cmsghdr header;
    char bytes[CMSG_SPACE(sizeof(int) * kMaxFdsPerMessage)];
};

ssize_t SendWith(int socket, std::span<const std::uint8_t> message, std::span<const int> fds, int flags)
{
    if (message.size() > kMaxMessageBytes || fds.size() > kMaxFdsPerMessage) {
        errno = EMSGSIZE;
        return -1;
    }
    iovec part{const_cast<std::uint8_t*>(message.data()), message.size()};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    ControlBuffer control{};
    if (!fds.empty()) {
        header.msg_control = control.bytes;
        header.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(rights), fds.data(), sizeof(int) * fds.size());
    }
    ssize_t sent;
    do
        sent = ::sendmsg(socket, &header, flags | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent;
}

// Takes the descriptors out of whatever control data came; false when any
// of it is not descriptors.
bool TakeDescriptors(msghdr& header, std::vector<UniqueFd>& fds)
{
    bool onlyRights = true;
    for (cmsghdr* part = CMSG_FIRSTHDR(&header); part != nullptr; part = CMSG_NXTHDR(&header, part)) {
        if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS) {
            onlyRights = false;
            continue;
        }
        const std::size_t count = (part->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(part) + i * sizeof(int), sizeof fd);
            fds.emplace_back(fd);
        }
    }
    return onlyRights;
}

} // namespace

bool SendMessage(int socket, std::span<const std::uint8_t> message, std::span<const int> fds)
{
    return SendWith(socket, message, fds, 0) == static_cast<ssize_t>(message.size());
}

Sent SendMessageNow(int socket, std::span<const std::uint8_t> message, std::span<const int> fds)
{
    const ssize_t sent = SendWith(socket, message, fds, MSG_DONTWAIT);
    if (sent == static_cast<ssize_t>(message.size()))
        return Sent::Whole;
    return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Sent::Full : Sent::Failed;
}

Received ReceiveMessage(int socket, std::vector<std::uint8_t>& message, std::vector<UniqueFd>& fds)
{
    message.clear();
    fds.clear();
    // The length first, without taking the message (nor its descriptors:
    // with no room for control data none are made), so that the buffer is
    // the message's size and one over the limit is never stored.
    msghdr peek{};
    ssize_t length;
    do
        length = ::recvmsg(socket, &peek, MSG_PEEK | MSG_TRUNC);
    while (length < 0 && errno == EINTR);
    if (length < 0)
        return Received::Failed;

    message.resize(std::min(static_cast<std::size_t>(length), kMaxMessageBytes));
    iovec part{message.data(), message.size()};
    ControlBuffer control{};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control.bytes;
    header.msg_controllen = sizeof control.bytes;
    ssize_t got;
    do
        got = ::recvmsg(socket, &header, MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        message.clear();
        return Received::Failed;
    }
    const bool onlyRights = TakeDescriptors(header, fds);
    if (got == 0 && fds.empty() && onlyRights && (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0)
        return Received::Closed; // an empty message is none of ours: the end
    if ((header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 || !onlyRights || static_cast<std::size_t>(got) != message.size()) {
        message.clear();
        fds.clear(); // closes them
        return Received::Malformed;
    }
    return Received::Message;
}

} // namespace mugrove::sandbox
