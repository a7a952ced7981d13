// Navigation of the stand-in control: addresses in, pages loaded on a worker
// thread, events out in the real engine's order, its own back and forward
// history, new windows, error pages, and the page script's requests.
#include "engines/browser/browser_control.h"

#include <exdispid.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <new>

namespace standin {

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    const size_t length = wcslen(prefix);
    return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring EscapeHtml(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'&': out += L"&amp;"; break;
        case L'"': out += L"&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

struct WorkerStart {
    std::shared_ptr<LoadJob> job;
    HWND notify = nullptr;
    HMODULE module = nullptr;
};

void RunJob(LoadJob& job) {
    job.result = LoadPage(job.url, job.version, job.downloadFlags, &job.cancel);
    job.done = true;
}

DWORD WINAPI LoadThread(void* param) {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(param));
    RunJob(*start->job);
    PostMessageW(start->notify, kLoadedMessage, start->job->sequence, 0);
    HMODULE module = start->module;
    start.reset();
    // The reference taken when the thread started keeps this code loaded.
    FreeLibraryAndExitThread(module, 0);
}

bool IsNewWindowTarget(const std::wstring& target) {
    const std::wstring t = Lower(target);
    return t == L"_blank" || t == L"_new";
}

}  // namespace

std::wstring VersionName(int version) {
    return version == 5 ? std::wstring(L"5.5") : std::to_wstring(version);
}

// ---------------------------------------------------------------------------
// IWebBrowser2 navigation methods

HRESULT WebBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT*, VARIANT*) {
    if (!url) return E_INVALIDARG;
    const long navigateFlags = VariantLong(flags, 0);
    std::wstring frame = VariantText(target);
    if (navigateFlags & navOpenInNewWindow) frame = L"_blank";
    return StartNavigation(FromBstr(url), frame, false, -1);
}

HRESULT WebBrowser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* postData,
                              VARIANT* headers) {
    if (!url) return E_INVALIDARG;
    const VARIANT* value = url;
    if (V_VT(value) == (VT_BYREF | VT_VARIANT)) value = V_VARIANTREF(value);
    if (!value || (V_VT(value) != VT_BSTR && V_VT(value) != (VT_BYREF | VT_BSTR))) return E_INVALIDARG;
    BSTR text = SysAllocString(VariantText(value).c_str());
    HRESULT hr = Navigate(text, flags, target, postData, headers);
    SysFreeString(text);
    return hr;
}

HRESULT WebBrowser::GoBack() {
    if (historyIndex_ <= 0) return E_FAIL;
    return StartNavigation(history_[historyIndex_ - 1], L"", true, historyIndex_ - 1);
}

HRESULT WebBrowser::GoForward() {
    if (historyIndex_ < 0 || historyIndex_ + 1 >= static_cast<int>(history_.size())) return E_FAIL;
    return StartNavigation(history_[historyIndex_ + 1], L"", true, historyIndex_ + 1);
}

HRESULT WebBrowser::GoHome() { return StartNavigation(L"about:blank", L"", false, -1); }
HRESULT WebBrowser::GoSearch() { return StartNavigation(L"about:blank", L"", false, -1); }

HRESULT WebBrowser::Refresh() {
    if (url_.empty()) return S_OK;
    StartLoad(url_, true, false, -1);
    return S_OK;
}

HRESULT WebBrowser::Refresh2(VARIANT*) { return Refresh(); }

HRESULT WebBrowser::Stop() {
    if (!job_) return S_OK;
    CancelLoad();
    readyState_ = page_ ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
    FireStatusText(L"");
    FireDownloadComplete();
    FireProgress(-1, kProgressMax);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Loading

HRESULT WebBrowser::StartNavigation(const std::wstring& address, const std::wstring& targetFrame,
                                    bool historyMove, int historyTarget) {
    const std::wstring url = NormalizeAddress(address);
    if (url.empty()) return E_INVALIDARG;
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    if (StartsWithNoCase(url, L"javascript:")) {
        downloadFlags_ = AmbientDownloadFlags();
        RunPageScript(JavascriptUrlCode(url));
        return S_OK;
    }
    if (IsNewWindowTarget(targetFrame)) {
        OpenNewWindow(url, targetFrame);
        return S_OK;
    }
    if (!FireBeforeNavigate(Self(), url, targetFrame)) return S_OK;  // the host cancelled it
    StartLoad(url, false, historyMove, historyTarget);
    return S_OK;
}

std::shared_ptr<LoadJob> WebBrowser::BeginJob(const std::wstring& url) {
    CancelLoad();
    // The host's settings are read afresh before every load.
    ReadHostSettings();
    auto job = std::make_shared<LoadJob>();
    job->sequence = nextSequence_++;
    job->url = url;
    job->version = version_;
    job->downloadFlags = downloadFlags_;
    job_ = job;
    readyState_ = READYSTATE_LOADING;
    return job;
}

void WebBrowser::StartLoad(const std::wstring& url, bool refresh, bool historyMove, int historyTarget) {
    auto job = BeginJob(url);
    job->refresh = refresh;
    job->historyMove = historyMove;
    job->historyTarget = historyTarget;

    FireDownloadBegin();
    if (job_ != job) return;  // a handler started another load
    FireProgress(0, kProgressMax);
    FireStatusText(L"Opening page " + url + L"...");
    if (job_ != job) return;

    StartWorker(job);
}

void WebBrowser::StartWorker(const std::shared_ptr<LoadJob>& job) {
    if (!notify_) notify_ = CreateNotifyWindow(this);
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&LoadThread), &module);
    auto* start = new (std::nothrow) WorkerStart{job, notify_, module};
    HANDLE thread = start ? CreateThread(nullptr, 0, LoadThread, start, 0, nullptr) : nullptr;
    if (thread) {
        CloseHandle(thread);
        return;
    }
    // No thread: load here and finish through the queue all the same, so
    // the events still arrive after Navigate returns.
    delete start;
    if (module) FreeLibrary(module);
    RunJob(*job);
    if (notify_) PostMessageW(notify_, kLoadedMessage, job->sequence, 0);
}

void WebBrowser::CancelLoad() {
    if (!job_) return;
    job_->cancel = true;
    job_.reset();
}

void WebBrowser::FinishLoad(unsigned sequence) {
    if (!job_ || job_->sequence != sequence || !job_->done) return;
    std::shared_ptr<LoadJob> job = std::move(job_);
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    if (!job->framePath.empty()) {
        FinishFrameLoad(*job);
        return;
    }
    const Response& response = job->result.response;

    if (job->result.page) {
        url_ = response.url.empty() ? job->url : response.url;
        ShowPage(job->result.page);
    } else {
        const long code = FAILED(response.error) ? static_cast<long>(response.error)
                                                 : static_cast<long>(response.status);
        if (FireNavigateError(Self(), job->url, L"", code)) {
            // The host cancelled the error page: the old page stays.
            readyState_ = page_ ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
            FireStatusText(L"");
            FireDownloadComplete();
            FireProgress(-1, kProgressMax);
            return;
        }
        url_ = job->url;
        ShowErrorPage(job->url, response);
    }

    if (!job->refresh) {
        if (job->historyMove && job->historyTarget >= 0 &&
            job->historyTarget < static_cast<int>(history_.size())) {
            historyIndex_ = job->historyTarget;
            history_[historyIndex_] = url_;
        } else {
            history_.resize(static_cast<size_t>(historyIndex_ + 1));
            history_.push_back(url_);
            historyIndex_ = static_cast<int>(history_.size()) - 1;
        }
        UpdateCommandStates();
        FireNavigateComplete(Self(), url_);
    }
    FireTitle(Title());
    // Frames finish before their page, each naming its own window.
    if (!job->refresh && page_ && document_) {
        ComPtr<IHTMLFramesCollection2> frames;
        if (SUCCEEDED(document_->get_frames(frames.Put())) && frames) {
            for (size_t i = 0; i < page_->frames.size(); ++i) {
                if (!page_->frames[i]) continue;
                VARIANT index, item;
                VariantInit(&index);
                VariantInit(&item);
                V_VT(&index) = VT_I4;
                V_I4(&index) = static_cast<LONG>(i);
                if (SUCCEEDED(frames->item(&index, &item)) && V_VT(&item) == VT_DISPATCH &&
                    V_DISPATCH(&item)) {
                    FireNavigateComplete(V_DISPATCH(&item), page_->frames[i]->url);
                    FireDocumentComplete(V_DISPATCH(&item), page_->frames[i]->url);
                }
                VariantClear(&item);
            }
        }
    }
    // The page's script errors reach the host before the page completes; a
    // refresh ran the page's scripts again, so its errors come again.
    if (page_) {
        const std::vector<ScriptErrorRecord> errors = page_->scriptErrors;
        for (const ScriptErrorRecord& e : errors) ReportScriptError(e.message, e.line, e.character, page_->url);
    }
    FireProgress(kProgressMax, kProgressMax);
    FireStatusText(L"Done");
    readyState_ = READYSTATE_COMPLETE;
    FireDownloadComplete();
    if (!job->refresh) FireDocumentComplete(Self(), url_);
    FireProgress(-1, kProgressMax);
}

void WebBrowser::ShowPage(std::shared_ptr<Page> page) {
    page_ = std::move(page);
    document_.Reset();
    if (page_) CreateDocumentObject(page_, context_, document_.Put());
    context_->settings.showImages = (downloadFlags_ & DLCTL_DLIMAGES) != 0;
    // The old page's window events go with it; hosts advise the new one's.
    context_->topPage = page_.get();
    context_->windowSinks.clear();
    contentMeasured_ = false;
    scroll_ = 0;
    hover_ = nullptr;
    hits_.clear();
    if (window_) {
        InvalidateRect(window_, nullptr, FALSE);
        UpdateScrollBar();
    }
    if (viewAdvise_) viewAdvise_->OnViewChange(DVASPECT_CONTENT, -1);
}

void WebBrowser::ShowErrorPage(const std::wstring& url, const Response& response) {
    ShowPage(PageFromMarkup(url, ErrorMarkup(url, response), version_));
}

std::wstring WebBrowser::ErrorMarkup(const std::wstring& url, const Response& response) const {
    std::wstring title, explanation;
    if (SUCCEEDED(response.error) && response.status == 404) {
        title = L"HTTP 404 Not Found";
        explanation = L"The webpage cannot be found.";
    } else if (SUCCEEDED(response.error)) {
        title = L"HTTP " + std::to_wstring(response.status);
        explanation = L"The website declined to show this webpage.";
    } else if (response.error == E_ABORT) {
        title = L"Navigation Canceled";
        explanation = L"Navigation to the webpage was canceled.";
    } else {
        title = L"Cannot display the webpage";
        explanation = L"The webpage cannot be displayed: the server was not found, or it did not answer.";
    }
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(response.error));
    return
        L"<html><head><title>" + EscapeHtml(title) + L"</title></head><body bgcolor=\"#ffffff\">"
        L"<h2>" + EscapeHtml(explanation) + L"</h2><p>Address: <b>" + EscapeHtml(url) + L"</b></p>"
        L"<ul><li>Check that the address is spelled correctly.</li>"
        L"<li>Click <a href=\"" + EscapeHtml(url) + L"\">here</a> to try again.</li></ul>"
        L"<p><small>Stand-in engine " + VersionName(version_) + L" &middot; " +
        (FAILED(response.error) ? std::wstring(code) : L"HTTP " + std::to_wstring(response.status)) +
        L"</small></p></body></html>";
}

void WebBrowser::ReadHostSettings() {
    if (uiHandler_) {
        DOCHOSTUIINFO info{};
        info.cbSize = sizeof(info);
        if (SUCCEEDED(uiHandler_->GetHostInfo(&info))) hostFlags_ = info.dwFlags;
        CoTaskMemFree(info.pchHostCss);
        CoTaskMemFree(info.pchHostNS);
        if (window_) {
            // Without DOCHOSTUIFLAG_NO3DBORDER the page gets a sunken border.
            const LONG_PTR style = GetWindowLongPtrW(window_, GWL_EXSTYLE);
            const LONG_PTR wanted = (hostFlags_ & DOCHOSTUIFLAG_NO3DBORDER) ? (style & ~WS_EX_CLIENTEDGE)
                                                                            : (style | WS_EX_CLIENTEDGE);
            if (wanted != style) {
                SetWindowLongPtrW(window_, GWL_EXSTYLE, wanted);
                SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                             SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
            }
        }
    }
    downloadFlags_ = AmbientDownloadFlags();
}

DWORD WebBrowser::AmbientDownloadFlags() {
    constexpr DWORD kDefault = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS;
    ComPtr<IDispatch> ambient = site_.As<IDispatch>(IID_IDispatch);
    if (!ambient) return kDefault;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
    DWORD flags = kDefault;
    if (SUCCEEDED(hr) && V_VT(&value) != VT_EMPTY) flags = static_cast<DWORD>(VariantLong(&value, kDefault));
    VariantClear(&value);
    return flags;
}

void WebBrowser::UpdateCommandStates() {
    FireCommandState(CSC_NAVIGATEBACK, historyIndex_ > 0);
    FireCommandState(CSC_NAVIGATEFORWARD, historyIndex_ + 1 < static_cast<int>(history_.size()));
}

std::wstring WebBrowser::Title() const {
    if (page_ && !page_->document.title.empty()) return page_->document.title;
    return url_;
}

// ---------------------------------------------------------------------------
// Links, new windows and the page script

void WebBrowser::OpenLink(const Page& page, std::size_t link) {
    if (link >= page.document.links.size()) return;
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    std::shared_ptr<Page> holder = page_;  // the page may be replaced by its own script
    const render::Link& l = page.document.links[link];
    const std::wstring href = l.href;
    const std::wstring target = l.target;
    const std::wstring base = page.url;
    std::wstring onclick;
    if (l.element)
        if (const std::wstring* handler = l.element->Attribute(L"onclick")) onclick = *handler;

    downloadFlags_ = AmbientDownloadFlags();
    if (!onclick.empty() && ScriptsAllowed()) {
        if (!RunPageScript(onclick)) return;  // "return false" keeps the link from opening
    }
    std::wstring trimmed = href;
    trimmed.erase(0, trimmed.find_first_not_of(L" \t\r\n"));
    if (trimmed.empty() || trimmed[0] == L'#') return;
    if (StartsWithNoCase(trimmed, L"javascript:")) {
        RunPageScript(JavascriptUrlCode(trimmed));
        return;
    }
    const std::wstring url = ResolveUrl(base, trimmed);
    const std::wstring lower = Lower(target);
    if (IsNewWindowTarget(target)) {
        OpenNewWindow(url, target);
        return;
    }
    if (lower == L"_top" || lower == L"_parent" || !page_) {
        StartNavigation(url, L"", false, -1);
        return;
    }
    // A named frame anywhere in the page, or (no target, "_self") the frame
    // holding the link.
    std::vector<std::size_t> path;
    std::function<bool(const Page&, std::vector<std::size_t>&)> find =
        [&](const Page& at, std::vector<std::size_t>& trail) {
            for (std::size_t i = 0; i < at.frames.size(); ++i) {
                if (!at.frames[i]) continue;
                trail.push_back(i);
                const bool named = !lower.empty() && lower != L"_self";
                if (named ? Lower(at.frames[i]->name) == lower : at.frames[i].get() == &page) return true;
                if (find(*at.frames[i], trail)) return true;
                trail.pop_back();
            }
            return false;
        };
    if (find(*page_, path)) {
        NavigateFrame(path, url);
    } else if (!lower.empty() && lower != L"_self") {
        OpenNewWindow(url, target);  // no frame of that name: the engine opens a window for it
    } else {
        StartNavigation(url, L"", false, -1);
    }
}

Page* WebBrowser::FrameAt(const std::vector<std::size_t>& path) const {
    Page* at = page_.get();
    for (std::size_t index : path) {
        if (!at || index >= at->frames.size()) return nullptr;
        at = at->frames[index].get();
    }
    return at;
}

ComPtr<IDispatch> WebBrowser::FrameDispatch(const std::vector<std::size_t>& path) const {
    ComPtr<IHTMLDocument2> document = document_;
    ComPtr<IDispatch> window;
    for (std::size_t step = 0; step < path.size() && document; ++step) {
        ComPtr<IHTMLFramesCollection2> frames;
        if (FAILED(document->get_frames(frames.Put())) || !frames) return {};
        VARIANT index, item;
        VariantInit(&index);
        VariantInit(&item);
        V_VT(&index) = VT_I4;
        V_I4(&index) = static_cast<LONG>(path[step]);
        if (FAILED(frames->item(&index, &item)) || V_VT(&item) != VT_DISPATCH || !V_DISPATCH(&item)) {
            VariantClear(&item);
            return {};
        }
        window = ComPtr<IDispatch>::Adopt(V_DISPATCH(&item));  // the variant's reference moves here
        document.Reset();
        if (step + 1 < path.size()) {
            ComPtr<IHTMLWindow2> frameWindow = window.As<IHTMLWindow2>(IID_IHTMLWindow2);
            if (!frameWindow || FAILED(frameWindow->get_document(document.Put()))) return {};
        }
    }
    return window;
}

void WebBrowser::NavigateFrame(const std::vector<std::size_t>& path, const std::wstring& url) {
    Page* frame = FrameAt(path);
    ComPtr<IDispatch> source = FrameDispatch(path);
    if (!frame || !source) {
        StartNavigation(url, L"", false, -1);
        return;
    }
    if (!FireBeforeNavigate(source.Get(), url, frame->name)) return;
    auto job = BeginJob(url);
    job->framePath = path;
    job->top = page_;
    FireDownloadBegin();
    if (job_ != job) return;
    StartWorker(job);
}

void WebBrowser::FinishFrameLoad(LoadJob& job) {
    // The frame belongs to a page that is still on display, or to nothing.
    Page* parent = page_ == job.top ? page_.get() : nullptr;
    for (std::size_t i = 0; parent && i + 1 < job.framePath.size(); ++i) {
        const std::size_t index = job.framePath[i];
        parent = index < parent->frames.size() ? parent->frames[index].get() : nullptr;
    }
    const std::size_t last = job.framePath.back();
    if (!parent || last >= parent->frames.size()) {
        readyState_ = READYSTATE_COMPLETE;
        FireDownloadComplete();
        return;
    }
    const std::wstring name = parent->frames[last] ? parent->frames[last]->name : std::wstring();
    ComPtr<IDispatch> source = FrameDispatch(job.framePath);
    std::shared_ptr<Page> loaded = job.result.page;
    const Response& response = job.result.response;
    if (!loaded) {
        const long code = FAILED(response.error) ? static_cast<long>(response.error)
                                                 : static_cast<long>(response.status);
        if (source && FireNavigateError(source.Get(), job.url, name, code)) {
            readyState_ = READYSTATE_COMPLETE;
            FireDownloadComplete();
            return;
        }
        loaded = PageFromMarkup(job.url, ErrorMarkup(job.url, response), version_);
    }
    loaded->name = name;
    const std::wstring url = loaded->url.empty() ? job.url : loaded->url;
    parent->frames[last] = loaded;
    if (window_) InvalidateRect(window_, nullptr, FALSE);
    if (viewAdvise_) viewAdvise_->OnViewChange(DVASPECT_CONTENT, -1);
    // The frame's window object now shows the new document.
    source = FrameDispatch(job.framePath);
    if (source) FireNavigateComplete(source.Get(), url);
    FireStatusText(L"Done");
    readyState_ = READYSTATE_COMPLETE;
    FireDownloadComplete();
    if (source) FireDocumentComplete(source.Get(), url);
}

void WebBrowser::OpenNewWindow(const std::wstring& url, const std::wstring& target) {
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    IDispatch* other = nullptr;
    if (FireNewWindow2(&other)) {
        if (other) other->Release();
        return;
    }
    if (other) {
        // The host gave a browser of its own for the new window.
        ComPtr<IDispatch> holder = ComPtr<IDispatch>::Adopt(other);
        ComPtr<IWebBrowser2> browser = holder.As<IWebBrowser2>(IID_IWebBrowser2);
        if (browser) {
            BSTR text = SysAllocString(url.c_str());
            browser->Navigate(text, nullptr, nullptr, nullptr, nullptr);
            SysFreeString(text);
            return;
        }
    }
    if (FireNewWindow(url, target)) return;  // the host opened it
    // The stand-in has no top-level windows of its own: open the page here.
    StartNavigation(url, L"", false, -1);
}

bool WebBrowser::RunPageScript(const std::wstring& code) {
    if (!ScriptsAllowed()) return true;
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    return RunScript(code, *this);
}

void WebBrowser::CloseWindow() {
    if (FireWindowClosing()) return;  // the host keeps the page
    // The window goes once the script that closed it has returned.
    HWND target = window_ ? window_ : notify_;
    if (target) PostMessageW(target, kCloseMessage, 0, 0);
}

void WebBrowser::OpenWindow(const std::wstring& url) {
    const std::wstring base = page_ ? page_->url : url_;
    OpenNewWindow(ResolveUrl(base, url.empty() ? std::wstring(L"about:blank") : url), L"_blank");
}

void WebBrowser::Alert(const std::wstring& text) {
    if (silent_) return;  // a silent control shows no dialog boxes
    HWND owner = window_ ? GetAncestor(window_, GA_ROOT) : nullptr;
    const wchar_t* caption = version_ >= 7 ? L"Message from webpage" : L"Microsoft Internet Explorer";
    MessageBoxW(owner, text.c_str(), caption, MB_OK | MB_ICONWARNING);
}

void WebBrowser::Navigate(const std::wstring& url) {
    const std::wstring base = page_ ? page_->url : url_;
    StartNavigation(ResolveUrl(base, url), L"", false, -1);
}

HRESULT WebBrowser::CallExternal(const std::wstring& name, std::vector<VARIANT>& args,
                                 std::wstring* error) {
    const std::wstring unsupported = L"Object doesn't support this property or method";
    IDispatch* external = nullptr;
    HRESULT hr = uiHandler_ ? uiHandler_->GetExternal(&external) : E_NOINTERFACE;
    if (hr != S_OK || !external) {
        if (external) external->Release();
        if (error) *error = L"window.external: " + unsupported;
        return FAILED(hr) ? hr : E_NOINTERFACE;
    }
    ComPtr<IDispatch> object = ComPtr<IDispatch>::Adopt(external);
    std::wstring member = name;
    LPOLESTR names[] = {member.data()};
    DISPID id = DISPID_UNKNOWN;
    hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        if (error) *error = L"window.external." + name + L": " + unsupported;
        return hr;
    }
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                        &exception, nullptr);
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr) && error) {
        wchar_t code[16];
        swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
        *error = L"window.external." + name + L" failed (" + code + L")";
        if (exception.bstrDescription) *error += L": " + FromBstr(exception.bstrDescription);
    }
    SysFreeString(exception.bstrDescription);
    return hr;
}

void WebBrowser::ScriptError(const std::wstring& message) {
    ReportScriptError(message, 1, 1, page_ ? page_->url : url_);
}

void WebBrowser::ReportScriptError(const std::wstring& message, long line, long character, const std::wstring& url) {
    ComPtr<IOleCommandTarget> host;
    ComPtr<IDispatch> event;
    if (site_ && document_ && SUCCEEDED(site_->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(host.Put()))) &&
        host && SUCCEEDED(CreateScriptErrorEvent(message, line, character, url, event.Put())) && event) {
        VARIANT in, out;
        VariantInit(&in);
        VariantInit(&out);
        V_VT(&in) = VT_UNKNOWN;
        V_UNKNOWN(&in) = document_.Get();
        // window.event answers the error while the host looks at it. The
        // host's answer only decides about an error dialog, which the
        // stand-in does not show.
        IDispatch* previous = context_->event;
        context_->event = event.Get();
        (void)host->Exec(nullptr, OLECMDID_SHOWSCRIPTERROR, OLECMDEXECOPT_DODEFAULT, &in, &out);
        context_->event = previous;
        VariantClear(&out);
    }
    // The status text tells of the error either way, as the engine's status bar does.
    FireStatusText(L"Error on page: " + message);
}

}  // namespace standin
