// Asks an X11 window to close as a window manager's close button does, with the ICCCM's
// WM_DELETE_WINDOW message, for end-to-end tests that run without a window manager.
// Usage: close-window WINDOW_ID
#include <cstdlib>
#include <memory>
#include <string>
#include <xcb/xcb.h>

int main(int argc, char** argv) {
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(nullptr, nullptr), &xcb_disconnect);
    if (argc != 2 || xcb_connection_has_error(connection.get()) != 0)
        return 1;
    const auto atom = [&](const std::string& name) {
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection.get(),
                                  xcb_intern_atom(connection.get(), 0,
                                                  static_cast<uint16_t>(name.size()), name.c_str()),
                                  nullptr),
            &std::free);
        return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    };
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(std::stoul(argv[1]));
    message.type = atom("WM_PROTOCOLS");
    message.data.data32[0] = atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    // Checked, so that the server has taken the message before this client goes.
    const std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
        xcb_request_check(connection.get(),
                          xcb_send_event_checked(connection.get(), 0, message.window,
                                                 XCB_EVENT_MASK_NO_EVENT,
                                                 reinterpret_cast<const char*>(&message))),
        &std::free);
    return error ? 1 : 0;
}
