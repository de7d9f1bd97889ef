#include "platform/desktop/X11DesktopWindows.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace desktop {
namespace {

// Longest title or class text we ask the server for, in 32-bit units.
constexpr std::uint32_t kMaxTextLongs = 4096;
// Longest window list we ask for, in windows.
constexpr std::uint32_t kMaxListLongs = 1u << 20;
// How deep below a top-level frame the program's own window is looked for.
constexpr int kMaxFrameDepth = 3;

struct TProperty {
    std::uint32_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;
    std::string bytes;
};

xcb_get_property_cookie_t RequestProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t atom,
                                          xcb_atom_t type, std::uint32_t maxLongs) {
    return xcb_get_property(c, 0, w, atom, type, 0, maxLongs);
}

// Collects a property reply; a missing property, a wrong type or an error (the window has
// gone) all give an empty property.
TProperty TakeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    TProperty p;
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, &error);
    std::free(error);
    if (!reply) return p;
    p.type = reply->type;
    p.format = reply->format;
    const int length = xcb_get_property_value_length(reply);
    if (reply->type != XCB_ATOM_NONE && length > 0)
        p.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                       static_cast<std::size_t>(length));
    std::free(reply);
    return p;
}

TProperty ReadProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t atom, xcb_atom_t type,
                      std::uint32_t maxLongs) {
    return TakeProperty(c, RequestProperty(c, w, atom, type, maxLongs));
}

std::vector<std::uint32_t> AsWindowList(const TProperty& p) {
    std::vector<std::uint32_t> list;
    if (p.type != XCB_ATOM_WINDOW || p.format != 32) return list;
    list.resize(p.bytes.size() / 4);
    std::memcpy(list.data(), p.bytes.data(), list.size() * 4);
    return list;
}

bool IsValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        if (c < 0x80) extra = 0;
        else if ((c & 0xE0) == 0xC0) extra = 1;
        else if ((c & 0xF0) == 0xE0) extra = 2;
        else if ((c & 0xF8) == 0xF0) extra = 3;
        else return false;
        if (s.size() - i - 1 < extra) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

std::string Latin1ToUtf8(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Text properties end at the first NUL.
std::string UpToNul(const std::string& s, std::size_t from = 0) {
    if (from >= s.size()) return {};
    const std::size_t end = s.find('\0', from);
    return s.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// Legacy text properties are Latin-1 by convention, but toolkits commonly write UTF-8 into
// them; keep valid UTF-8 as it is.
std::string LegacyTextToUtf8(const std::string& s) {
    return IsValidUtf8(s) ? s : Latin1ToUtf8(s);
}

std::string ClassPart(const TProperty& wmClass) {
    if (wmClass.format != 8) return {};
    const std::size_t nul = wmClass.bytes.find('\0');
    if (nul == std::string::npos) return {};
    return LegacyTextToUtf8(UpToNul(wmClass.bytes, nul + 1));
}

}  // namespace

TX11DesktopWindows::TX11DesktopWindows(const std::string& displayName) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return;
    }
    conn_ = c;
    root_ = it.data->root;

    const char* names[] = {"_NET_CLIENT_LIST", "_NET_WM_NAME",   "UTF8_STRING",
                           "_NET_ACTIVE_WINDOW", "_NET_SUPPORTED", "_NET_SUPPORTING_WM_CHECK", "WM_STATE"};
    std::uint32_t* targets[] = {&atoms_.netClientList, &atoms_.netWmName,    &atoms_.utf8String,
                                &atoms_.netActiveWindow, &atoms_.netSupported, &atoms_.netSupportingWmCheck,
                                &atoms_.wmState};
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(conn_, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    for (std::size_t i = 0; i < std::size(names); ++i) {
        xcb_generic_error_t* error = nullptr;
        if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(conn_, cookies[i], &error)) {
            *targets[i] = reply->atom;
            std::free(reply);
        }
        std::free(error);
    }
}

TX11DesktopWindows::~TX11DesktopWindows() {
    if (conn_) xcb_disconnect(conn_);
}

// A window manager that exited may leave its root properties behind; it is alive only while
// its check window exists and points at itself.
bool TX11DesktopWindows::WindowManagerAlive() {
    const auto fromRoot = AsWindowList(
        ReadProperty(conn_, root_, atoms_.netSupportingWmCheck, XCB_ATOM_WINDOW, 1));
    if (fromRoot.empty() || fromRoot[0] == XCB_NONE) return false;
    const auto fromCheck = AsWindowList(
        ReadProperty(conn_, fromRoot[0], atoms_.netSupportingWmCheck, XCB_ATOM_WINDOW, 1));
    return !fromCheck.empty() && fromCheck[0] == fromRoot[0];
}

bool TX11DesktopWindows::WindowManagerSupports(std::uint32_t atom) {
    const TProperty supported = ReadProperty(conn_, root_, atoms_.netSupported, XCB_ATOM_ATOM, kMaxListLongs);
    if (supported.type != XCB_ATOM_ATOM || supported.format != 32) return false;
    for (std::size_t i = 0; i + 4 <= supported.bytes.size(); i += 4) {
        std::uint32_t a = 0;
        std::memcpy(&a, supported.bytes.data() + i, 4);
        if (a == atom) return true;
    }
    return false;
}

std::vector<std::uint32_t> TX11DesktopWindows::Children(std::uint32_t window) {
    std::vector<std::uint32_t> children;
    xcb_generic_error_t* error = nullptr;
    if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(conn_, xcb_query_tree(conn_, window), &error)) {
        const xcb_window_t* list = xcb_query_tree_children(tree);
        children.assign(list, list + xcb_query_tree_children_length(tree));
        std::free(tree);
    }
    std::free(error);
    return children;
}

// A window manager without a client list may still put each program's window into a frame
// of its own; the program's window is then the frame's descendant that carries WM_STATE.
// Windows without a frame (no window manager) stand for themselves.
std::vector<std::uint32_t> TX11DesktopWindows::ClientWindows(const std::vector<std::uint32_t>& topLevel) {
    std::vector<std::uint32_t> clients = topLevel;
    for (std::uint32_t& window : clients) {
        std::vector<std::uint32_t> level{window};
        for (int depth = 0; depth <= kMaxFrameDepth && !level.empty(); ++depth) {
            std::vector<xcb_get_property_cookie_t> cookies;
            for (std::uint32_t w : level) cookies.push_back(RequestProperty(conn_, w, atoms_.wmState, atoms_.wmState, 0));
            std::uint32_t found = 0;
            for (std::size_t i = 0; i < level.size(); ++i)
                if (TakeProperty(conn_, cookies[i]).type == atoms_.wmState && !found) found = level[i];
            if (found) {
                window = found;
                break;
            }
            std::vector<std::uint32_t> next;
            for (std::uint32_t w : level) {
                const auto children = Children(w);
                next.insert(next.end(), children.begin(), children.end());
            }
            level = std::move(next);
        }
    }
    return clients;
}

std::vector<TTopLevelWindow> TX11DesktopWindows::Enumerate() {
    std::vector<TTopLevelWindow> result;
    if (!conn_) return result;

    std::vector<std::uint32_t> handles;
    bool fromWindowManager = false;
    if (WindowManagerAlive()) {
        const TProperty list = ReadProperty(conn_, root_, atoms_.netClientList, XCB_ATOM_WINDOW, kMaxListLongs);
        if (list.type == XCB_ATOM_WINDOW) {
            handles = AsWindowList(list);
            fromWindowManager = true;
        }
    }
    if (!fromWindowManager) handles = ClientWindows(Children(root_));

    // All requests first, then all replies: one round trip for the whole list.
    struct TPending {
        xcb_get_property_cookie_t netName, name, wmClass;
    };
    std::vector<TPending> pending;
    pending.reserve(handles.size());
    for (std::uint32_t w : handles)
        pending.push_back({RequestProperty(conn_, w, atoms_.netWmName, atoms_.utf8String, kMaxTextLongs),
                           RequestProperty(conn_, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, kMaxTextLongs),
                           RequestProperty(conn_, w, XCB_ATOM_WM_CLASS, XCB_GET_PROPERTY_TYPE_ANY, kMaxTextLongs)});
    result.reserve(handles.size());
    for (std::size_t i = 0; i < handles.size(); ++i) {
        TTopLevelWindow window;
        window.handle = handles[i];
        const TProperty netName = TakeProperty(conn_, pending[i].netName);
        const TProperty name = TakeProperty(conn_, pending[i].name);
        const TProperty wmClass = TakeProperty(conn_, pending[i].wmClass);
        if (netName.type == atoms_.utf8String && netName.format == 8 && !netName.bytes.empty())
            window.title = UpToNul(netName.bytes);
        else if (name.format == 8)
            window.title = name.type == atoms_.utf8String ? UpToNul(name.bytes) : LegacyTextToUtf8(UpToNul(name.bytes));
        window.className = ClassPart(wmClass);
        result.push_back(std::move(window));
    }
    return result;
}

void TX11DesktopWindows::Activate(TWindowHandle window) {
    if (!conn_ || window == NoWindow) return;
    if (WindowManagerAlive() && WindowManagerSupports(atoms_.netActiveWindow)) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atoms_.netActiveWindow;
        message.data.data32[0] = 2;  // source: acting for the user, like a pager
        message.data.data32[1] = XCB_CURRENT_TIME;
        message.data.data32[2] = XCB_NONE;
        xcb_send_event(conn_, 0, root_,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    } else {
        // Without a window manager we do its work: show, raise, focus.
        xcb_map_window(conn_, window);
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(conn_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(conn_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    }
    Sync();
}

// Waits until the server has handled everything sent so far, so that the requests take
// effect even when the process ends right after; errors of a window that has gone meanwhile
// are dropped.
void TX11DesktopWindows::Sync() {
    xcb_generic_error_t* error = nullptr;
    std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), &error));
    std::free(error);
    while (xcb_generic_event_t* event = xcb_poll_for_event(conn_)) std::free(event);
}

std::unique_ptr<IDesktopWindows> OpenDesktopWindows() {
    return std::make_unique<TX11DesktopWindows>();
}

}  // namespace desktop
