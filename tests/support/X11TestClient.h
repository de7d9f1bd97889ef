// A plain xcb client for tests: makes top-level windows with a given title and class,
// plays a minimal EWMH window manager on request, and reads back focus and stacking.
#pragma once

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace test {

class X11TestClient {
public:
    explicit X11TestClient(const std::string& display) {
        int screen = 0;
        conn_ = xcb_connect(display.c_str(), &screen);
        if (xcb_connection_has_error(conn_)) throw std::runtime_error("cannot connect to " + display);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn_));
        for (int i = 0; i < screen; ++i) xcb_screen_next(&it);
        screen_ = it.data;
    }
    ~X11TestClient() { xcb_disconnect(conn_); }
    X11TestClient(const X11TestClient&) = delete;
    X11TestClient& operator=(const X11TestClient&) = delete;

    xcb_connection_t* Connection() const { return conn_; }
    xcb_window_t Root() const { return screen_->root; }

    // The key code that types `keysym` without modifiers on the server's keyboard, or 0.
    xcb_keycode_t KeyCode(xcb_keysym_t keysym) {
        const xcb_setup_t* setup = xcb_get_setup(conn_);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t* mapping =
            xcb_get_keyboard_mapping_reply(conn_, xcb_get_keyboard_mapping(conn_, setup->min_keycode, count), nullptr);
        xcb_keycode_t found = 0;
        if (mapping) {
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping);
            for (int i = 0; i < count && !found; ++i)
                if (syms[i * mapping->keysyms_per_keycode] == keysym) found = static_cast<xcb_keycode_t>(setup->min_keycode + i);
            std::free(mapping);
        }
        return found;
    }

    // Presses and releases the key in the window, as the X server reports a typed key.
    void TypeKey(xcb_window_t window, xcb_keycode_t code) {
        for (const std::uint8_t type : {std::uint8_t(XCB_KEY_PRESS), std::uint8_t(XCB_KEY_RELEASE)}) {
            xcb_key_press_event_t key{};
            key.response_type = type;
            key.detail = code;
            key.time = XCB_CURRENT_TIME;
            key.root = screen_->root;
            key.event = window;
            key.child = XCB_NONE;
            key.same_screen = 1;
            xcb_send_event(conn_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&key));
        }
        Sync();
    }

    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(r);
        return atom;
    }

    // A top-level window; an empty title or class leaves that property unset. A title is
    // written as WM_NAME (Latin-1) unless utf8Title asks for _NET_WM_NAME.
    xcb_window_t CreateWindow(const std::string& title, const std::string& className, bool map = true,
                              bool utf8Title = false) {
        const xcb_window_t w = CreateWindowIn(screen_->root, title, className, utf8Title);
        if (map) xcb_map_window(conn_, w);
        Sync();
        return w;
    }

    xcb_window_t CreateWindowIn(xcb_window_t parent, const std::string& title, const std::string& className,
                                bool utf8Title = false) {
        const xcb_window_t w = xcb_generate_id(conn_);
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, w, parent, 10, 10, 100, 60, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, 0, nullptr);
        if (!title.empty()) {
            if (utf8Title)
                SetProperty(w, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), 8, title.data(), title.size());
            else
                SetProperty(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, title.data(), title.size());
        }
        if (!className.empty()) {
            const std::string value = std::string("test-instance") + '\0' + className + '\0';
            SetProperty(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, value.data(), value.size());
        }
        return w;
    }

    // A program window framed the way a window manager without a client list frames it: the
    // frame is the root's child, the program window inside it carries WM_STATE.
    struct Framed {
        xcb_window_t frame;
        xcb_window_t client;
    };
    Framed CreateFramedWindow(const std::string& title, const std::string& className) {
        const xcb_window_t frame = xcb_generate_id(conn_);
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, frame, screen_->root, 20, 20, 120, 90, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, 0, nullptr);
        const xcb_window_t decoration = xcb_generate_id(conn_);
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, decoration, frame, 0, 0, 120, 20, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, 0, nullptr);
        const xcb_window_t client = CreateWindowIn(frame, title, className);
        const std::uint32_t normalState[] = {1, XCB_NONE};
        const xcb_atom_t wmState = Atom("WM_STATE");
        SetProperty(client, wmState, wmState, 32, normalState, 2);
        xcb_map_window(conn_, decoration);
        xcb_map_window(conn_, client);
        xcb_map_window(conn_, frame);
        Sync();
        return {frame, client};
    }

    void SetProperty(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, std::uint8_t format, const void* data,
                     std::size_t units) {
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, property, type, format,
                            static_cast<std::uint32_t>(units), data);
    }

    // Announces a live EWMH window manager with the given client list, taking over the
    // root's redirection so that activation requests arrive here as client messages.
    void BecomeWindowManager(const std::vector<xcb_window_t>& clients, bool supportsActiveWindow = true) {
        const xcb_window_t check = xcb_generate_id(conn_);
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, check, screen_->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t checkAtom = Atom("_NET_SUPPORTING_WM_CHECK");
        SetProperty(check, checkAtom, XCB_ATOM_WINDOW, 32, &check, 1);
        SetProperty(screen_->root, checkAtom, XCB_ATOM_WINDOW, 32, &check, 1);
        std::vector<xcb_atom_t> supported{Atom("_NET_CLIENT_LIST")};
        if (supportsActiveWindow) supported.push_back(Atom("_NET_ACTIVE_WINDOW"));
        SetProperty(screen_->root, Atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 32, supported.data(), supported.size());
        SetProperty(screen_->root, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32, clients.data(), clients.size());
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn_, screen_->root, XCB_CW_EVENT_MASK, &mask);
        Sync();
        wmCheck_ = check;
    }

    // Leaves the root's properties in place, as a crashed window manager does.
    void DestroyWindowManagerCheck() {
        xcb_destroy_window(conn_, wmCheck_);
        Sync();
    }

    // The next client message of the given type, or an all-zero event after timeoutMs.
    xcb_client_message_event_t WaitForClientMessage(xcb_atom_t type, int timeoutMs = 30000) {
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
                if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                    xcb_client_message_event_t m;
                    std::memcpy(&m, e, sizeof m);
                    std::free(e);
                    if (m.type == type) return m;
                    continue;
                }
                std::free(e);
            }
            pollfd p{xcb_get_file_descriptor(conn_), POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) return {};
        }
    }

    xcb_window_t FocusedWindow() {
        xcb_get_input_focus_reply_t* r = xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr);
        const xcb_window_t w = r ? r->focus : xcb_window_t{XCB_NONE};
        std::free(r);
        return w;
    }

    bool IsViewable(xcb_window_t w) {
        xcb_get_window_attributes_reply_t* r =
            xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, w), nullptr);
        const bool viewable = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(r);
        return viewable;
    }

    // The root's children, bottom to top.
    std::vector<xcb_window_t> Stacking() {
        std::vector<xcb_window_t> result;
        if (xcb_query_tree_reply_t* r = xcb_query_tree_reply(conn_, xcb_query_tree(conn_, screen_->root), nullptr)) {
            const xcb_window_t* c = xcb_query_tree_children(r);
            result.assign(c, c + xcb_query_tree_children_length(r));
            std::free(r);
        }
        return result;
    }

    void Sync() { std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr)); }

private:
    xcb_connection_t* conn_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t wmCheck_ = XCB_NONE;
};

}  // namespace test
