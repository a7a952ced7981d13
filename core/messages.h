#pragma once
// The private messages between the tab view, the engine threads and the tab
// content dialog, and the record that carries one of them over a tab's pipe.
//
// Wire form of one record (every integer 32-bit little-endian, strings
// UTF-16LE), written with one write call and never prefixed with a length:
//
//   message number | wParam kind | wParam | lParam kind | lParam
//
// A kind of XPM_STRING (2) is followed by the string's code units and one 0
// unit; any other kind by a 4-byte number. A record of two numbers is 20
// bytes. The two ends of a pipe may be different builds (x86 and x86-64), so
// nothing here depends on the size of a pointer, WPARAM or LPARAM: numbers are
// carried as their low 32 bits and the codec works on fixed-width integers.
#include <windows.h>

#include "res/resource_ids.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------
// Message numbers.

// Thread messages to an engine thread.
constexpr UINT UWM_ENGINE_CLOSE = WM_USER + 0x1000;   // 0x1400
constexpr UINT UWM_ENGINE_COMMAND = WM_USER + 0x1001; // 0x1401

// Window messages. 0x2408 is not used.
constexpr UINT UWM_TAB_GO_ADDRESS = WM_USER + 0x2000;         // 0x2400
constexpr UINT UWM_TAB_TITLE = WM_USER + 0x2001;              // 0x2401
constexpr UINT UWM_TAB_STATUS_TEXT = WM_USER + 0x2002;        // 0x2402
constexpr UINT UWM_TAB_HISTORY_ADD = WM_USER + 0x2003;        // 0x2403
constexpr UINT UWM_TAB_PROGRESS = WM_USER + 0x2004;           // 0x2404
constexpr UINT UWM_TAB_NAVIGATE = WM_USER + 0x2005;           // 0x2405
constexpr UINT UWM_TAB_NEW_WINDOW = WM_USER + 0x2006;         // 0x2406
constexpr UINT UWM_TAB_ZOOM = WM_USER + 0x2007;               // 0x2407, to an engine thread or a dialog
constexpr UINT UWM_FRAME_WEB_SEARCH = WM_USER + 0x2007;       // 0x2407, to the main frame
constexpr UINT UWM_TAB_PANEL_STATE = WM_USER + 0x2009;        // 0x2409
constexpr UINT UWM_TAB_BROWSER_READY = WM_USER + 0x200A;      // 0x240A
constexpr UINT UWM_TAB_TASKBAR_ACTIVATE = WM_USER + 0x200B;   // 0x240B
constexpr UINT UWM_TAB_TASKBAR_SYSCOMMAND = WM_USER + 0x200C; // 0x240C
constexpr UINT UWM_TAB_MUST_CLOSE = WM_USER + 0x200D;         // 0x240D
constexpr UINT UWM_TAB_QUERY_CLOSE = WM_USER + 0x200E;        // 0x240E
constexpr UINT UWM_TAB_DOWNLOAD_FLAGS = WM_USER + 0x200F;     // 0x240F
constexpr UINT UWM_FRAME_TAB_CRASHED = WM_USER + 0x2010;      // 0x2410
constexpr UINT UWM_TAB_ADDRESS = WM_USER + 0x2011;            // 0x2411
constexpr UINT UWM_TAB_TASKBAR_PREVIEW = WM_USER + 0x2012;    // 0x2412
// The page refused to be unloaded: its tab stays open.
constexpr UINT UWM_TAB_CLOSE_REFUSED = WM_USER + 0x2013;      // 0x2413
// Capture of the page a tab shows (the command line's "-capture"). To an
// engine thread and on to the tab content: wParam is the file to write (a
// string parameter), lParam the picture's size, width in the low and height
// in the high 16 bits.
constexpr UINT UWM_TAB_CAPTURE = WM_USER + 0x2014;            // 0x2414
// The tab content's answer: wParam is the HRESULT of the capture (S_OK when
// the file was written).
constexpr UINT UWM_TAB_CAPTURED = WM_USER + 0x2015;           // 0x2415
// The page itself (not a frame) failed to load: wParam is the engine's
// status code of the failure (an HTTP status or an HRESULT).
constexpr UINT UWM_TAB_LOAD_FAILED = WM_USER + 0x2016;        // 0x2416
// Under Wine: the child stored a new picture of its content (see
// hosting/content_mirror.h); the parent's proxy draws it and keeps it.
constexpr UINT UWM_TAB_PICTURE = WM_USER + 0x2017;            // 0x2417
// The tab's child process stopped answering (wParam 1) or answers again
// (wParam 0). Posted by the proxy engine thread to its view.
constexpr UINT UWM_TAB_NOT_RESPONDING = WM_USER + 0x2018;     // 0x2418
// The user's answer to a tab that does not respond: wParam 0 waits on,
// 1 ends the page (its child process). View to proxy engine thread.
constexpr UINT UWM_TAB_BUSY_ANSWER = WM_USER + 0x2019;        // 0x2419
// A setting that tabs apply changed: the tab content reads the settings
// again. View to engine thread, and on over the pipe.
constexpr UINT UWM_TAB_SETTINGS_CHANGED = WM_USER + 0x201A;   // 0x241A
// A script error the page's engine reported to its host, in two records
// that always come together and in this order: UWM_TAB_SCRIPT_ERROR_AT with
// the line (wParam) and character (lParam), then UWM_TAB_SCRIPT_ERROR with
// the message (wParam) and the script's address (lParam), both strings.
constexpr UINT UWM_TAB_SCRIPT_ERROR_AT = WM_USER + 0x201B;    // 0x241B
constexpr UINT UWM_TAB_SCRIPT_ERROR = WM_USER + 0x201C;       // 0x241C
// Linked tabs follow each other through these three. The user took the
// page itself to another address from inside the tab (a link followed, a
// form sent, an address typed in the tab's box): wParam is the address, a
// string. Navigations the view asked for (UWM_TAB_NAVIGATE, the engine
// commands) are not reported.
constexpr UINT UWM_TAB_LINK_NAVIGATE = WM_USER + 0x201D;      // 0x241D
// The page was scrolled by anything but UWM_TAB_SCROLL_TO: wParam is the
// horizontal and lParam the vertical position, each in millionths of its
// scrollable range (kScrollPartsMax).
constexpr UINT UWM_TAB_SCROLLED = WM_USER + 0x201E;           // 0x241E
// The view's request to scroll the page to such a position; the scroll it
// makes is not reported back.
constexpr UINT UWM_TAB_SCROLL_TO = WM_USER + 0x201F;          // 0x241F
// The page itself (not a frame) is replaced by a new one (NavigateComplete2
// of the top-level browser, or a refresh the tab content starts, which
// fires none): what the view kept about the old page's scripts, such as its
// script errors, is forgotten. The script errors of the new page come after
// it.
constexpr UINT UWM_TAB_PAGE_STARTED = WM_USER + 0x2020;       // 0x2420
// The last message number of the tab range.
constexpr UINT UWM_TAB_LAST = UWM_TAB_PAGE_STARTED;
// The main frame's notice for a tab that does not respond: wParam 1 shows
// it, 0 takes it away; lParam is the tab view's window.
constexpr UINT UWM_FRAME_TAB_NOT_RESPONDING = WM_USER + 0x2030; // 0x2430

// The whole scrollable range in the parameters of UWM_TAB_SCROLLED and
// UWM_TAB_SCROLL_TO.
constexpr std::uint32_t kScrollPartsMax = 1000000;

// The lParam of UWM_TAB_CAPTURE for a picture of `width` by `height`.
constexpr std::uint32_t CaptureSizeParam(int width, int height) {
    return (static_cast<std::uint32_t>(height & 0xFFFF) << 16) | static_cast<std::uint32_t>(width & 0xFFFF);
}

// ---------------------------------------------------------------------------
// The tab protocol: every message between a tab view and its tab content,
// its direction and the kind of each parameter, in one table. The pipe's
// filters, the engine threads' relays, PostTo and the receivers take their
// rules from here.
//
// String parameters. A String parameter is a heap std::wstring
// (NewStringParam) that travels with its message, posted or sent: the
// handler that finally consumes it deletes it (TakeStringParam); a handler
// that passes the message on passes the pointer on. When a message cannot be
// delivered (a failed post, a receiver that is gone) the sender frees it
// (ReleaseTabMessageParams). A null string makes the receiver ignore the
// message. On the pipe a String is the UTF-16 text, a Number its low 32 bits.

enum class TabDirection : std::uint8_t {
    Down,  // tab view -> engine thread -> tab content; crosses the pipe parent to child
    Up,    // tab content -> tab view; crosses the pipe child to parent
};

enum class ParamKind : std::uint8_t { Number, String };

struct TabMessageRule {
    UINT message;            // as the engine thread or view receives it
    TabDirection direction;
    ParamKind wParam;
    ParamKind lParam;
    UINT pipeMessage;        // what the pipe carries (UWM_ENGINE_COMMAND travels as WM_COMMAND)
    // For WM_COMMAND upstream: the one command a child may send (0: any).
    std::uint32_t onlyWParam;
};

// Messages not listed here never cross a pipe (UWM_TAB_GO_ADDRESS,
// UWM_TAB_BROWSER_READY, the taskbar window's requests, the frame's
// messages, UWM_TAB_NOT_RESPONDING and UWM_TAB_BUSY_ANSWER, which the proxy
// itself makes and takes).
namespace tab_protocol {
using enum TabDirection;
using enum ParamKind;
inline constexpr TabMessageRule kMessages[] = {
    // Down: the view's requests.
    {UWM_ENGINE_CLOSE, Down, Number, Number, UWM_ENGINE_CLOSE, 0},
    {UWM_ENGINE_COMMAND, Down, Number, Number, WM_COMMAND, 0},
    // WM_SIZE: the engine thread gets width and height; the pipe carries 0
    // and (height << 16) | width, as the window message does.
    {WM_SIZE, Down, Number, Number, WM_SIZE, 0},
    {UWM_TAB_NAVIGATE, Down, String, Number, UWM_TAB_NAVIGATE, 0},
    {UWM_TAB_ZOOM, Down, Number, Number, UWM_TAB_ZOOM, 0},
    {UWM_TAB_QUERY_CLOSE, Down, Number, Number, UWM_TAB_QUERY_CLOSE, 0},
    {UWM_TAB_DOWNLOAD_FLAGS, Down, Number, Number, UWM_TAB_DOWNLOAD_FLAGS, 0},
    {UWM_TAB_TASKBAR_PREVIEW, Down, Number, Number, UWM_TAB_TASKBAR_PREVIEW, 0},
    {UWM_TAB_CAPTURE, Down, String, Number, UWM_TAB_CAPTURE, 0},
    {UWM_TAB_SETTINGS_CHANGED, Down, Number, Number, UWM_TAB_SETTINGS_CHANGED, 0},
    {UWM_TAB_SCROLL_TO, Down, Number, Number, UWM_TAB_SCROLL_TO, 0},
    // Up: the tab content's notifications.
    {UWM_TAB_TITLE, Up, String, Number, UWM_TAB_TITLE, 0},
    {UWM_TAB_STATUS_TEXT, Up, String, Number, UWM_TAB_STATUS_TEXT, 0},
    {UWM_TAB_HISTORY_ADD, Up, String, String, UWM_TAB_HISTORY_ADD, 0},
    {UWM_TAB_PROGRESS, Up, Number, Number, UWM_TAB_PROGRESS, 0},
    {UWM_TAB_NEW_WINDOW, Up, String, Number, UWM_TAB_NEW_WINDOW, 0},
    {UWM_TAB_PANEL_STATE, Up, Number, Number, UWM_TAB_PANEL_STATE, 0},
    {UWM_TAB_MUST_CLOSE, Up, Number, Number, UWM_TAB_MUST_CLOSE, 0},
    {UWM_TAB_CLOSE_REFUSED, Up, Number, Number, UWM_TAB_CLOSE_REFUSED, 0},
    {UWM_TAB_ADDRESS, Up, String, Number, UWM_TAB_ADDRESS, 0},
    {UWM_TAB_CAPTURED, Up, Number, Number, UWM_TAB_CAPTURED, 0},
    {UWM_TAB_LOAD_FAILED, Up, Number, Number, UWM_TAB_LOAD_FAILED, 0},
    {UWM_TAB_PICTURE, Up, Number, Number, UWM_TAB_PICTURE, 0},
    {UWM_TAB_SCRIPT_ERROR_AT, Up, Number, Number, UWM_TAB_SCRIPT_ERROR_AT, 0},
    {UWM_TAB_SCRIPT_ERROR, Up, String, String, UWM_TAB_SCRIPT_ERROR, 0},
    {UWM_TAB_LINK_NAVIGATE, Up, String, Number, UWM_TAB_LINK_NAVIGATE, 0},
    {UWM_TAB_SCROLLED, Up, Number, Number, UWM_TAB_SCROLLED, 0},
    {UWM_TAB_PAGE_STARTED, Up, Number, Number, UWM_TAB_PAGE_STARTED, 0},
    // The one command a child sends: its taskbar thumbnail activates the tab.
    {WM_COMMAND, Up, Number, Number, WM_COMMAND, ID_TASKBAR_TAB_ACTIVE},
};
} // namespace tab_protocol

// The rule of `message` going `direction`, or null when it has none.
constexpr const TabMessageRule* FindTabMessage(UINT message, TabDirection direction) {
    for (const TabMessageRule& rule : tab_protocol::kMessages)
        if (rule.message == message && rule.direction == direction) return &rule;
    return nullptr;
}
// The rule of a message as the pipe carries it.
constexpr const TabMessageRule* FindPipeMessage(UINT pipeMessage, TabDirection direction) {
    for (const TabMessageRule& rule : tab_protocol::kMessages)
        if (rule.pipeMessage == pipeMessage && rule.direction == direction) return &rule;
    return nullptr;
}

// Frees the String parameters of a tab message that was not delivered.
void ReleaseTabMessageParams(UINT message, TabDirection direction, WPARAM wParam, LPARAM lParam);

// wParam of UWM_TAB_MUST_CLOSE. Only CLOSE_ENGINE_LOST produces the crash notice.
enum TabCloseReason : int {
    CLOSE_PAGE_CLOSED = 1,     // the page closed its own window
    CLOSE_ENGINE_LOST = 2,     // the child process ended or its pipe broke
    CLOSE_TASKBAR = 3,         // close chosen on the tab's taskbar thumbnail
    CLOSE_LAUNCH_FAILED = 4,   // the child process could not be started
    CLOSE_UNLOAD_ACCEPTED = 5, // the page agreed to be unloaded
};

// ---------------------------------------------------------------------------
// String parameters (the rule is stated with the tab protocol above).

template <typename Param>
Param NewStringParam(std::wstring_view text) {
    static_assert(sizeof(Param) == sizeof(void*));
    return reinterpret_cast<Param>(new std::wstring(text));
}

// Takes ownership of a string parameter (null stays null).
inline std::unique_ptr<std::wstring> TakeStringParam(std::uintptr_t param) {
    return std::unique_ptr<std::wstring>(reinterpret_cast<std::wstring*>(param));
}

// ---------------------------------------------------------------------------
// The pipe record.

constexpr std::uint32_t XPM_NUMBER = 1;
constexpr std::uint32_t XPM_STRING = 2;

static_assert(sizeof(std::uint32_t) == 4 && sizeof(std::uint8_t) == 1);
static_assert(sizeof(wchar_t) == 2, "strings cross the pipe as UTF-16 code units");

// One message on a pipe, or a status record made by the receiving end for a
// read error. Strings are owned by the record.
struct CFNKXProcessMessage {
    // 0 for an ordinary message. A status record carries the system error that
    // ended reading and nothing else; a sender's write error 109, 232 or 233 is
    // stored here too. Never transmitted.
    std::uint32_t m_nError = 0;
    std::uint32_t m_nMessage = 0;
    std::uint32_t m_nWParamType = 0; // XPM_NUMBER or XPM_STRING
    std::uint32_t m_wParam = 0;      // the number, when not a string
    std::wstring m_strWParam;        // the string, when m_nWParamType is XPM_STRING
    std::uint32_t m_nLParamType = 0;
    std::uint32_t m_lParam = 0;
    std::wstring m_strLParam;

    // Largest string the decoder keeps (16 MiB of UTF-16). A record with a
    // longer string is skipped whole by the reader and refused by the writer.
    static constexpr std::size_t kMaxStringUnits = std::size_t(8) << 20;

    static constexpr CFNKXProcessMessage Numbers(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
        CFNKXProcessMessage m;
        m.m_nMessage = message;
        m.m_nWParamType = XPM_NUMBER;
        m.m_wParam = wParam;
        m.m_nLParamType = XPM_NUMBER;
        m.m_lParam = lParam;
        return m;
    }
    static constexpr CFNKXProcessMessage StringAndNumber(std::uint32_t message, std::wstring_view wParam,
                                                         std::uint32_t lParam) {
        CFNKXProcessMessage m = Numbers(message, 0, lParam);
        m.m_nWParamType = XPM_STRING;
        m.m_strWParam = std::wstring(wParam);
        return m;
    }
    static constexpr CFNKXProcessMessage Strings(std::uint32_t message, std::wstring_view wParam,
                                                 std::wstring_view lParam) {
        CFNKXProcessMessage m = StringAndNumber(message, wParam, 0);
        m.m_nLParamType = XPM_STRING;
        m.m_strLParam = std::wstring(lParam);
        return m;
    }
    static constexpr CFNKXProcessMessage Status(std::uint32_t error) {
        CFNKXProcessMessage m;
        m.m_nError = error;
        return m;
    }

    constexpr bool WParamIsString() const { return m_nWParamType == XPM_STRING; }
    constexpr bool LParamIsString() const { return m_nLParamType == XPM_STRING; }

    // Code units of a string as it goes on the wire. A string ends at its
    // first 0 unit: units after an embedded 0 cannot be framed and would
    // otherwise be read back as a new record, so they are not sent.
    static constexpr std::size_t WireUnits(std::wstring_view s) {
        std::size_t n = s.find(L'\0');
        return n == std::wstring_view::npos ? s.size() : n;
    }

    // Size of the wire form in bytes: 8 + (4 or 2(n + 1)) + 4 + (4 or 2(m + 1)).
    constexpr std::size_t WireSize() const {
        return 8 + (WParamIsString() ? 2 * (WireUnits(m_strWParam) + 1) : 4) + 4 +
               (LParamIsString() ? 2 * (WireUnits(m_strLParam) + 1) : 4);
    }

    // True when a string is longer than the reader keeps.
    constexpr bool TooLong() const {
        return (WParamIsString() && WireUnits(m_strWParam) > kMaxStringUnits) ||
               (LParamIsString() && WireUnits(m_strLParam) > kMaxStringUnits);
    }

    // The wire form.
    constexpr std::vector<std::uint8_t> Encode() const {
        std::vector<std::uint8_t> out;
        out.reserve(WireSize());
        Put32(out, m_nMessage);
        Put32(out, m_nWParamType);
        PutParam(out, WParamIsString(), m_wParam, m_strWParam);
        Put32(out, m_nLParamType);
        PutParam(out, LParamIsString(), m_lParam, m_strLParam);
        return out;
    }

    // Posts the message to a window: string parameters become new heap
    // strings handed to the receiver (the record keeps its own); a number
    // travels as wParam zero-extended and as lParam sign-extended, the way a
    // 32-bit program's messages reach a 64-bit window. A WM_NULL follows. False
    // when the post failed; the new strings are then freed here.
    bool PostTo(HWND hwnd) const;
    // Whether the record is a message of the tab protocol going `direction`
    // with the parameter kinds its rule gives (a string where the receiver
    // frees a string). A parent treats a child that sends anything else as
    // lost; a child ignores anything else from its parent.
    bool Follows(TabDirection direction) const;
    bool IsUpstream() const { return Follows(TabDirection::Up); }

    constexpr bool operator==(const CFNKXProcessMessage&) const = default;

private:
    static constexpr void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v >> 16));
        out.push_back(static_cast<std::uint8_t>(v >> 24));
    }
    static constexpr void PutParam(std::vector<std::uint8_t>& out, bool isString, std::uint32_t number,
                                   const std::wstring& text) {
        if (!isString) {
            Put32(out, number);
            return;
        }
        std::size_t units = WireUnits(text);
        for (std::size_t i = 0; i < units; ++i) {
            auto u = static_cast<std::uint16_t>(text[i]);
            out.push_back(static_cast<std::uint8_t>(u));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        }
        out.push_back(0);
        out.push_back(0);
    }
};

// Decodes a byte stream into records, keeping a partial record between calls,
// so a record split across reads (the byte-mode client end) or longer than
// one read buffer (ERROR_MORE_DATA on the message-mode server end) comes out
// whole. It looks only at the bytes it is given, whatever they are: a kind of
// 2 means a string ending at the first 0 unit, any other kind a 4-byte number.
// A string over kMaxStringUnits is skipped, record and all, while the framing
// continues behind it, so garbage from the peer cannot grow memory without end.
class CXProcessDecoder {
public:
    // Decodes `size` bytes; complete records are appended to `out` in order.
    constexpr void Feed(const std::uint8_t* data, std::size_t size, std::vector<CFNKXProcessMessage>& out) {
        std::size_t i = 0;
        while (i < size) {
            if (!InString()) {
                m_field |= static_cast<std::uint32_t>(data[i++]) << (8 * m_fieldBytes);
                if (++m_fieldBytes < 4) continue;
                std::uint32_t v = m_field;
                m_field = 0;
                m_fieldBytes = 0;
                switch (m_stage) {
                case Stage::Message: m_current.m_nMessage = v; m_stage = Stage::WParamType; break;
                case Stage::WParamType: m_current.m_nWParamType = v; m_stage = Stage::WParamValue; break;
                case Stage::WParamValue: m_current.m_wParam = v; m_stage = Stage::LParamType; break;
                case Stage::LParamType: m_current.m_nLParamType = v; m_stage = Stage::LParamValue; break;
                case Stage::LParamValue: m_current.m_lParam = v; Finish(out); break;
                }
                continue;
            }
            // A code unit whose first byte came with the previous chunk.
            if (m_haveLowByte) {
                m_haveLowByte = false;
                Unit(static_cast<std::uint16_t>(m_lowByte | (data[i++] << 8)), out);
                continue;
            }
            // Whole code units up to the terminator or the end of the bytes.
            bool ended = false;
            while (i + 1 < size) {
                auto u = static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8));
                i += 2;
                if (u == 0) {
                    Unit(0, out);
                    ended = true;
                    break;
                }
                Unit(u, out);
            }
            if (!ended && i + 1 == size) {
                m_lowByte = data[i++];
                m_haveLowByte = true;
            }
        }
    }

    // True between records: nothing of a partial record is held.
    constexpr bool AtRecordBoundary() const { return m_stage == Stage::Message && m_fieldBytes == 0; }

    // Forgets a partial record.
    constexpr void Reset() {
        m_stage = Stage::Message;
        m_field = 0;
        m_fieldBytes = 0;
        m_haveLowByte = false;
        m_lowByte = 0;
        m_skipping = false;
        m_current = CFNKXProcessMessage();
    }

private:
    enum class Stage : std::uint8_t { Message, WParamType, WParamValue, LParamType, LParamValue };

    constexpr bool InString() const {
        return (m_stage == Stage::WParamValue && m_current.m_nWParamType == XPM_STRING) ||
               (m_stage == Stage::LParamValue && m_current.m_nLParamType == XPM_STRING);
    }

    constexpr void Unit(std::uint16_t u, std::vector<CFNKXProcessMessage>& out) {
        std::wstring& text = m_stage == Stage::WParamValue ? m_current.m_strWParam : m_current.m_strLParam;
        if (u == 0) {
            if (m_stage == Stage::WParamValue)
                m_stage = Stage::LParamType;
            else
                Finish(out);
            return;
        }
        if (m_skipping) return;
        if (text.size() >= CFNKXProcessMessage::kMaxStringUnits) {
            m_skipping = true;
            std::wstring().swap(text);
            return;
        }
        text.push_back(static_cast<wchar_t>(u));
    }

    constexpr void Finish(std::vector<CFNKXProcessMessage>& out) {
        if (!m_skipping) out.push_back(std::move(m_current));
        Reset();
    }

    Stage m_stage = Stage::Message;
    std::uint32_t m_field = 0;
    unsigned m_fieldBytes = 0;
    bool m_haveLowByte = false;
    std::uint8_t m_lowByte = 0;
    bool m_skipping = false;
    CFNKXProcessMessage m_current;
};

// Decodes the bytes of one read on their own; an incomplete record at the end
// is dropped.
constexpr std::vector<CFNKXProcessMessage> DecodeMessages(const std::uint8_t* data, std::size_t size) {
    std::vector<CFNKXProcessMessage> out;
    CXProcessDecoder decoder;
    decoder.Feed(data, size, out);
    return out;
}
