// A drag source for the end-to-end tests: drags local files (text/uri-list)
// over the XDND protocol onto whatever window lies at a screen point, as a
// file manager would, without moving the real pointer.
//
// Usage: mugrove_e2e_drag X Y FILE...
// Exit code: 0 the target accepted and the drop was delivered and finished,
//            2 the target refused the drag (the drag is left),
//            1 anything else (no XDND window there, no answer, bad arguments).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <vector>

namespace {

constexpr long kXdndVersion = 5;

struct Atoms {
    Atom aware, enter, position, status, leave, drop, finished, selection, typeList,
        actionCopy, uriList, targets;
    explicit Atoms(Display* d)
        : aware(XInternAtom(d, "XdndAware", False)),
          enter(XInternAtom(d, "XdndEnter", False)),
          position(XInternAtom(d, "XdndPosition", False)),
          status(XInternAtom(d, "XdndStatus", False)),
          leave(XInternAtom(d, "XdndLeave", False)),
          drop(XInternAtom(d, "XdndDrop", False)),
          finished(XInternAtom(d, "XdndFinished", False)),
          selection(XInternAtom(d, "XdndSelection", False)),
          typeList(XInternAtom(d, "XdndTypeList", False)),
          actionCopy(XInternAtom(d, "XdndActionCopy", False)),
          uriList(XInternAtom(d, "text/uri-list", False)),
          targets(XInternAtom(d, "TARGETS", False))
    {
    }
};

// file:// URI of an absolute path, bytes outside the unreserved set escaped.
std::string FileUri(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

bool IsAware(Display* d, const Atoms& a, Window w)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, rest = 0;
    unsigned char* data = nullptr;
    const bool aware = XGetWindowProperty(d, w, a.aware, 0, 1, False, AnyPropertyType, &type,
                                          &format, &count, &rest, &data) == Success
                       && type != None;
    if (data)
        XFree(data);
    return aware;
}

// The innermost XDND-aware window on the path from the root down to (x, y).
Window FindTarget(Display* d, const Atoms& a, int x, int y)
{
    const Window root = DefaultRootWindow(d);
    Window found = None;
    Window from = root;
    Window child = root;
    int cx = x, cy = y;
    while (child != None) {
        Window next = None;
        int nx = 0, ny = 0;
        if (!XTranslateCoordinates(d, from, child, cx, cy, &nx, &ny, &next))
            break;
        if (child != root && IsAware(d, a, child))
            found = child;
        from = child;
        cx = nx;
        cy = ny;
        child = next;
    }
    return found;
}

// A server timestamp: the time of a property change on our own window.
Time ServerTime(Display* d, Window w)
{
    const Atom stamp = XInternAtom(d, "MUGROVE_E2E_STAMP", False);
    XChangeProperty(d, w, stamp, XA_STRING, 8, PropModeReplace, nullptr, 0);
    XEvent ev;
    XWindowEvent(d, w, PropertyChangeMask, &ev);
    return ev.xproperty.time;
}

void SendMessage(Display* d, Window target, Atom type, long l0, long l1, long l2, long l3,
                 long l4)
{
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.display = d;
    ev.xclient.window = target;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(d, target, False, NoEventMask, &ev);
    XFlush(d);
}

class Source {
public:
    Source(Display* d, const Atoms& a, Window self, std::string payload)
        : d_(d), a_(a), self_(self), payload_(std::move(payload))
    {
    }

    // Waits for a client message of the given type, answering data requests
    // meanwhile. False on timeout.
    bool WaitFor(Atom type, XClientMessageEvent* out, int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now()
                              + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (XPending(d_)) {
                XEvent ev;
                XNextEvent(d_, &ev);
                if (ev.type == SelectionRequest) {
                    Answer(ev.xselectionrequest);
                } else if (ev.type == ClientMessage && ev.xclient.message_type == type) {
                    *out = ev.xclient;
                    return true;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                return false;
            pollfd fd{ConnectionNumber(d_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left));
        }
    }

private:
    void Answer(const XSelectionRequestEvent& req)
    {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.display = d_;
        reply.xselection.requestor = req.requestor;
        reply.xselection.selection = req.selection;
        reply.xselection.target = req.target;
        reply.xselection.time = req.time;
        reply.xselection.property = None;
        const Atom property = req.property != None ? req.property : req.target;
        if (req.target == a_.uriList) {
            XChangeProperty(d_, req.requestor, property, a_.uriList, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(payload_.data()),
                            static_cast<int>(payload_.size()));
            reply.xselection.property = property;
        } else if (req.target == a_.targets) {
            const Atom offered[] = {a_.targets, a_.uriList};
            XChangeProperty(d_, req.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 2);
            reply.xselection.property = property;
        }
        XSendEvent(d_, req.requestor, False, NoEventMask, &reply);
        XFlush(d_);
    }

    Display* d_;
    const Atoms& a_;
    Window self_;
    std::string payload_;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s X Y FILE...\n", argv[0]);
        return 1;
    }
    const int x = std::atoi(argv[1]);
    const int y = std::atoi(argv[2]);
    std::string payload;
    for (int i = 3; i < argc; ++i)
        payload += FileUri(argv[i]) + "\r\n";

    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    const Atoms a(d);
    const Window root = DefaultRootWindow(d);
    const Window self = XCreateSimpleWindow(d, root, -10, -10, 1, 1, 0, 0, 0);
    XSelectInput(d, self, PropertyChangeMask);
    const long version = kXdndVersion;
    XChangeProperty(d, self, a.aware, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&version), 1);
    XChangeProperty(d, self, a.typeList, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&a.uriList), 1);

    const Window target = FindTarget(d, a, x, y);
    if (target == None) {
        std::fprintf(stderr, "no drop target at %d,%d\n", x, y);
        return 1;
    }
    const Time time = ServerTime(d, self);
    XSetSelectionOwner(d, a.selection, self, time);
    if (XGetSelectionOwner(d, a.selection) != self) {
        std::fprintf(stderr, "cannot own the drag selection\n");
        return 1;
    }

    Source source(d, a, self, payload);
    const long self_l = static_cast<long>(self);
    SendMessage(d, target, a.enter, self_l, kXdndVersion << 24, static_cast<long>(a.uriList),
                None, None);
    SendMessage(d, target, a.position, self_l, 0, (static_cast<long>(x) << 16) | (y & 0xFFFF),
                static_cast<long>(time), static_cast<long>(a.actionCopy));

    XClientMessageEvent status{};
    if (!source.WaitFor(a.status, &status, 5000)) {
        std::fprintf(stderr, "the target did not answer the drag\n");
        SendMessage(d, target, a.leave, self_l, 0, 0, 0, 0);
        return 1;
    }
    if (!(status.data.l[1] & 1)) {
        std::printf("refused\n");
        SendMessage(d, target, a.leave, self_l, 0, 0, 0, 0);
        XCloseDisplay(d);
        return 2;
    }
    char* action = XGetAtomName(d, static_cast<Atom>(status.data.l[4]));
    std::printf("accepted %s\n", action ? action : "None");
    if (action)
        XFree(action);

    SendMessage(d, target, a.drop, self_l, 0, static_cast<long>(time), 0, 0);
    XClientMessageEvent finished{};
    if (!source.WaitFor(a.finished, &finished, 5000)) {
        std::fprintf(stderr, "the target did not finish the drop\n");
        return 1;
    }
    std::printf("finished %s\n", (finished.data.l[1] & 1) ? "accepted" : "refused");
    std::fflush(stdout);
    XCloseDisplay(d);
    return 0;
}
