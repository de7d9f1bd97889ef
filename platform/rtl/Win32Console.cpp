#include "platform/rtl/Win32Console.h"

#include "platform/rtl/WindowsHeaders.h"

#include <iostream>
#include <streambuf>
#include <string>

namespace rtl {

std::size_t WholeUtf8Prefix(std::string_view text) {
    // A sequence is at most four bytes: look back at most three for its lead byte.
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: the lead lies further back
        const std::size_t length = byte >= 0xF5 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 1;
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

namespace {

// A stream buffer over a console handle: collects the UTF-8 written to it and shows each
// whole line (or what a flush asks for) as UTF-16.
class TConsoleBuffer : public std::streambuf {
public:
    explicit TConsoleBuffer(HANDLE console) : console_(console) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        if (c == '\n' || pending_.size() >= FlushBytes) Show();
        return c;
    }

    std::streamsize xsputn(const char* text, std::streamsize size) override {
        pending_.append(text, static_cast<std::size_t>(size));
        if (pending_.find('\n', pending_.size() - static_cast<std::size_t>(size)) != std::string::npos ||
            pending_.size() >= FlushBytes)
            Show();
        return size;
    }

    int sync() override {
        Show();
        return 0;
    }

private:
    static constexpr std::size_t FlushBytes = 4096;

    void Show() {
        const std::size_t whole = WholeUtf8Prefix(pending_);
        if (whole == 0) return;
        // Without MB_ERR_INVALID_CHARS, bytes that are no UTF-8 show as U+FFFD.
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(whole), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
        if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(whole), wide.data(), n);
        pending_.erase(0, whole);
        const wchar_t* at = wide.data();
        std::size_t left = wide.size();
        while (left > 0) {
            DWORD written = 0;
            // A console takes at most some 32 K characters at once on older Windows.
            const DWORD chunk = static_cast<DWORD>(left < 8192 ? left : 8192);
            if (!::WriteConsoleW(console_, at, chunk, &written, nullptr) || written == 0) return;
            at += written;
            left -= written;
        }
    }

    HANDLE console_;
    std::string pending_;
};

// The console behind `which`, or nullptr when it is a pipe, a file or nothing.
HANDLE ConsoleOf(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) return nullptr;
    // The progress line clears itself with "ESC [ K"; Windows 10 on understand it when asked.
    ::SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    return handle;
}

} // namespace

void WriteConsoleStreamsAsUnicode() {
    // The buffers live as long as the process: the streams are flushed after every static
    // object of ours is gone.
    if (const HANDLE out = ConsoleOf(STD_OUTPUT_HANDLE)) std::cout.rdbuf(new TConsoleBuffer(out));
    if (const HANDLE err = ConsoleOf(STD_ERROR_HANDLE)) {
        auto* buffer = new TConsoleBuffer(err);
        std::cerr.rdbuf(buffer);
        std::clog.rdbuf(buffer);
    }
}

} // namespace rtl
