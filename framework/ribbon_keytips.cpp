// Key tips: the letters shown after Alt or F10, what typing them does,
// and the thread's keyboard hook that sees Alt and F10 first.
#include "ribbon_internal.h"

#include "errors.h"

namespace fw {

using namespace ribbon_draw;
using namespace ribbon_detail;

namespace {

// One keyboard-hook per thread serves every bar of the thread.
thread_local HHOOK t_keyHook = nullptr;
thread_local int t_keyHookUsers = 0;

} // namespace

// ---------------------------------------------------------------------------
// Key tips

void RibbonBar::State::ShowKeyTips(int level) {
    HideTip();
    Layout();
    keyTips.clear();
    typed.clear();
    keyTipLevel = level;
    auto letterOf = [](const std::wstring& keyTip, const std::wstring& name) {
        if (!keyTip.empty()) return keyTip;
        wchar_t m = MnemonicOf(name);
        if (!m) {
            std::wstring plain = StripMnemonic(name);
            m = plain.empty() ? L'?' : static_cast<wchar_t>(std::towupper(plain[0]));
        }
        return std::wstring(1, m);
    };
    if (level == 1) {
        KeyTip app;
        app.keys = bar.m_strAppKeyTip.empty() ? L"F" : bar.m_strAppKeyTip;
        app.at = {(appRect.left + appRect.right) / 2, appRect.bottom - 6};
        app.kind = HitKind::App;
        keyTips.push_back(app);
        int n = 1;
        for (auto& p : tabRow) {
            KeyTip t;
            bool isQuick = quickSource.count(p.element) != 0;
            if (isQuick && n <= 9)
                t.keys = std::to_wstring(n++);
            else if (!p.element->KeyTip().empty())
                t.keys = p.element->KeyTip();
            else
                continue;
            t.at = {(p.rect.left + p.rect.right) / 2, p.rect.bottom - 6};
            t.kind = HitKind::Element;
            t.element = p.element;
            keyTips.push_back(t);
        }
        for (auto& cat : bar.m_categories) {
            KeyTip t;
            t.keys = letterOf(cat->m_strKeyTip, cat->m_strName);
            t.at = {(cat->m_tabRect.left + cat->m_tabRect.right) / 2, cat->m_tabRect.bottom - 7};
            t.kind = HitKind::Tab;
            t.category = cat.get();
            keyTips.push_back(t);
        }
    } else {
        std::set<std::wstring> used;
        for (auto& pp : panels)
            for (auto& p : pp.elements)
                if (!p.element->KeyTip().empty()) used.insert(p.element->KeyTip());
        int next = 0;
        const std::wstring sequence = L"123456789ABCDEGHIJKLMNOPQRSTUVWXYZ";
        auto nextKeys = [&] {
            while (next < static_cast<int>(sequence.size())) {
                std::wstring k(1, sequence[static_cast<size_t>(next++)]);
                if (!used.count(k)) return k;
            }
            return std::wstring(L"Z") + std::to_wstring(next++);
        };
        for (auto& pp : panels) {
            if (pp.size == Size::Collapsed) {
                KeyTip t;
                t.keys = nextKeys();
                t.at = {(pp.rect.left + pp.rect.right) / 2, pp.rect.bottom - lineHeight - 6};
                t.kind = HitKind::Panel;
                t.panel = pp.panel;
                keyTips.push_back(t);
                continue;
            }
            for (auto& p : pp.elements) {
                KeyTip t;
                t.keys = p.element->KeyTip().empty() ? nextKeys() : p.element->KeyTip();
                t.at = p.large ? POINT{(p.rect.left + p.rect.right) / 2, p.rect.bottom - 6}
                               : POINT{p.rect.left + 14, p.rect.bottom - 8};
                t.kind = HitKind::Element;
                t.element = p.element;
                t.panel = pp.panel;
                keyTips.push_back(t);
            }
        }
    }
    InvalidateRect(bar.Handle(), nullptr, FALSE);
}

void RibbonBar::State::HideKeyTips() {
    if (!keyTipLevel) return;
    keyTipLevel = 0;
    keyTips.clear();
    typed.clear();
    InvalidateRect(bar.Handle(), nullptr, FALSE);
}

void RibbonBar::State::ActivateKeyTip(const KeyTip& t) {
    switch (t.kind) {
    case HitKind::App:
        HideKeyTips();
        OpenAppMenu();
        break;
    case HitKind::Tab:
        bar.SetActiveCategory(t.category);
        if (bar.m_bMinimized) {
            HideKeyTips();
            OpenCategoryPopup(t.category);
        } else {
            ShowKeyTips(2);
        }
        break;
    case HitKind::Panel: {
        HideKeyTips();
        for (auto& pp : panels)
            if (pp.panel == t.panel) {
                OpenPanelPopup(pp.panel, pp.rect);
                break;
            }
        break;
    }
    case HitKind::Element: {
        HideKeyTips();
        RibbonElement* e = t.element;
        if (!IsEnabledNow(e)) break;
        auto b = dynamic_cast<RibbonButton*>(e);
        if (dynamic_cast<RibbonComboBox*>(e))
            DropDown(e, 0);
        else if (b && b->HasMenu() && !b->m_bDefaultCommand)
            DropDown(e, 1);
        else
            Execute(e);
        break;
    }
    case HitKind::None: break;
    }
}

bool RibbonBar::State::OnKey(UINT vk, bool down, bool repeat) {
    if (vk == VK_MENU) {
        if (down) {
            if (!repeat) altAlone = true;
            return keyTipLevel != 0;
        }
        if (!altAlone) return false;
        altAlone = false;
        if (keyTipLevel)
            HideKeyTips();
        else
            ShowKeyTips(1);
        return true;
    }
    if (down) altAlone = false;
    if (vk == VK_F10 && !(GetKeyState(VK_SHIFT) & 0x8000)) {
        if (down && !repeat) {
            if (keyTipLevel)
                HideKeyTips();
            else
                ShowKeyTips(1);
        }
        return true;
    }
    if (!keyTipLevel) return false;
    if (!down) return true;
    if (vk == VK_ESCAPE) {
        if (keyTipLevel == 2 && typed.empty())
            ShowKeyTips(1);
        else if (!typed.empty()) {
            typed.clear();
            InvalidateRect(bar.Handle(), nullptr, FALSE);
        } else
            HideKeyTips();
        return true;
    }
    wchar_t ch = 0;
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) ch = static_cast<wchar_t>(vk);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) ch = static_cast<wchar_t>('0' + (vk - VK_NUMPAD0));
    if (!ch) {
        if (vk == VK_SHIFT || vk == VK_CONTROL) return true;
        HideKeyTips();
        return false;
    }
    std::wstring now = typed + ch;
    const KeyTip* exact = nullptr;
    bool prefix = false;
    for (auto& t : keyTips) {
        std::wstring upper = t.keys;
        for (auto& x : upper) x = static_cast<wchar_t>(std::towupper(x));
        if (upper == now) exact = &t;
        else if (upper.compare(0, now.size(), now) == 0) prefix = true;
    }
    if (exact) {
        KeyTip t = *exact;
        typed.clear();
        ActivateKeyTip(t);
    } else if (prefix) {
        typed = now;
        InvalidateRect(bar.Handle(), nullptr, FALSE);
    } else {
        MessageBeep(MB_OK);
    }
    return true;
}

LRESULT CALLBACK RibbonBar::State::KeyboardHook(int code, WPARAM wParam, LPARAM lParam) {
    // An exception stopped here lets the key go on to the next hook.
    if (code == HC_ACTION && fw::Guarded("ribbon key hook", false, [&] { return HookKey(wParam, lParam); })) return 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A key seen by the hook; true when a bar took it.
bool RibbonBar::State::HookKey(WPARAM wParam, LPARAM lParam) {
    bool up = (lParam & 0x80000000) != 0;
    bool repeat = !up && (lParam & 0x40000000) != 0;
    GUITHREADINFO gti{};
    gti.cbSize = sizeof(gti);
    if (GetGUIThreadInfo(GetCurrentThreadId(), &gti) && (gti.flags & GUI_INMENUMODE)) return false;
    for (State* s : Bars()) {
        HWND hwnd = s->bar.Handle();
        if (!hwnd || s->popup || GetFocus() == hwnd) continue;
        if (GetActiveWindow() != GetAncestor(hwnd, GA_ROOT) || !IsWindowVisible(hwnd)) continue;
        if (s->OnKey(static_cast<UINT>(wParam), !up, repeat)) return true;
    }
    return false;
}

void RibbonBar::State::Register() {
    if (registered) return;
    registered = true;
    Bars().push_back(this);
    if (t_keyHookUsers++ == 0)
        t_keyHook = SetWindowsHookExW(WH_KEYBOARD, &State::KeyboardHook, nullptr, GetCurrentThreadId());
}

void RibbonBar::State::Unregister() {
    if (!registered) return;
    registered = false;
    auto& bars = Bars();
    bars.erase(std::remove(bars.begin(), bars.end(), this), bars.end());
    if (--t_keyHookUsers == 0 && t_keyHook) {
        UnhookWindowsHookEx(t_keyHook);
        t_keyHook = nullptr;
    }
}

void RibbonBar::State::Forget(const RibbonElement* e) {
    shown.erase(const_cast<RibbonElement*>(e));
    ui.erase(e);
    quickSource.erase(e);
    imagesOf.erase(e);
    if (hot.element == e) hot = Hit{};
    if (pressed.element == e) pressed = Hit{};
}

} // namespace fw
