// Asks a top-level window to close the way a window manager does when the user clicks the close
// box: a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. (xdotool's windowclose destroys
// the window instead, which no application ever gets to answer.)
// Usage: close_request WINDOW-ID   (decimal, or hex with 0x); DISPLAY names the server.

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t InternAtom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: close_request WINDOW-ID\n");
        return 64;
    }
    char *end = nullptr;
    const unsigned long id = std::strtoul(argv[1], &end, 0);
    if (!end || *end != '\0' || id == 0) {
        std::fprintf(stderr, "close_request: not a window id: %s\n", argv[1]);
        return 64;
    }
    const auto window = static_cast<xcb_window_t>(id);

    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "close_request: cannot connect to the X server\n");
        xcb_disconnect(connection);
        return 2;
    }

    const xcb_atom_t protocols = InternAtom(connection, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = InternAtom(connection, "WM_DELETE_WINDOW");
    if (protocols == XCB_ATOM_NONE || deleteWindow == XCB_ATOM_NONE) {
        std::fprintf(stderr, "close_request: cannot intern the protocol atoms\n");
        xcb_disconnect(connection);
        return 2;
    }

    // The X protocol sends every event as 32 bytes.
    union {
        xcb_client_message_event_t message;
        char bytes[32];
    } event;
    std::memset(&event, 0, sizeof event);
    event.message.response_type = XCB_CLIENT_MESSAGE;
    event.message.format = 32;
    event.message.window = window;
    event.message.type = protocols;
    event.message.data.data32[0] = deleteWindow;
    event.message.data.data32[1] = XCB_CURRENT_TIME;

    // With no event mask the event goes to the client that created the window.
    const xcb_void_cookie_t cookie =
        xcb_send_event_checked(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, event.bytes);
    xcb_generic_error_t *error = xcb_request_check(connection, cookie);
    if (error) {
        std::fprintf(stderr, "close_request: X error %d sending to window 0x%lx\n", error->error_code, id);
        std::free(error);
        xcb_disconnect(connection);
        return 3;
    }
    xcb_disconnect(connection);
    return 0;
}
