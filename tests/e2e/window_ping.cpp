// SPDX-License-Identifier: GPL-3.0-or-later
// Sends a window the window manager's ping (_NET_WM_PING) and waits for its
// answer, as a window manager does before it greys a window out as "not
// responding". For the busy-window test, where no window manager runs.
//
// Usage: window_ping WINDOW_ID TIMEOUT_MS
// Prints the milliseconds the answer took; exit 0 answered in time, 1 not.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <xcb/xcb.h>

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const auto cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    auto* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: window_ping WINDOW_ID TIMEOUT_MS\n", stderr);
        return 2;
    }
    const auto window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
    const auto timeout = std::chrono::milliseconds(std::atoi(argv[2]));
    int screenNumber = 0;
    auto* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fputs("window_ping: no X server\n", stderr);
        return 2;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const auto root = screens.data->root;
    // The answer goes to the root window, where a window manager listens;
    // toolkits send it for StructureNotify, SubstructureNotify or both.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    const auto protocols = atom(connection, "WM_PROTOCOLS");
    const auto ping = atom(connection, "_NET_WM_PING");

    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = protocols;
    message.data.data32[0] = ping;
    message.data.data32[1] = 4242; // the "timestamp" the answer must carry
    message.data.data32[2] = window;
    xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);

    const auto sent = std::chrono::steady_clock::now();
    pollfd events{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (std::chrono::steady_clock::now() - sent < timeout) {
        while (auto* event = xcb_poll_for_event(connection)) {
            const auto* answer = reinterpret_cast<xcb_client_message_event_t*>(event);
            const bool pong = (event->response_type & 0x7F) == XCB_CLIENT_MESSAGE &&
                              answer->type == protocols && answer->data.data32[0] == ping &&
                              answer->data.data32[1] == 4242;
            std::free(event);
            if (pong) {
                const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - sent);
                std::printf("%lld\n", static_cast<long long>(took.count()));
                xcb_disconnect(connection);
                return 0;
            }
        }
        ::poll(&events, 1, 10);
    }
    std::puts("no answer");
    xcb_disconnect(connection);
    return 1;
}
