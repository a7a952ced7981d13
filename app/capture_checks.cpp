#include "capture_checks.h"

#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

#include <algorithm>
#include <map>
#include <memory>

namespace {

std::wstring FileNameOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// "C:\out\7-2.png" -> "C:\out\7-2" + suffix
std::wstring WithSuffix(const std::wstring& file, const wchar_t* suffix) {
    const size_t dot = file.find_last_of(L'.');
    const size_t slash = file.find_last_of(L"\\/");
    const std::wstring stem = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) ? file.substr(0, dot) : file;
    return stem + suffix;
}

std::wstring VersionName(IEVERSION v) { return IsValidVersion(v) ? g_versionInfo[static_cast<size_t>(v)].name : L"?"; }

std::wstring VersionLabel(IEVERSION v) {
    std::wstring name = CaptureFileName(v, 0, 1);
    return name.substr(0, name.size() - 4);  // without ".png"
}

// A picture read once for all the checks that need it.
struct LoadedPicture {
    bool loaded = false;
    Pixels pixels;
    std::wstring error;
};

std::shared_ptr<LoadedPicture> Load(const std::wstring& file) {
    auto out = std::make_shared<LoadedPicture>();
    out->loaded = LoadPicture(file, out->pixels, out->error);
    return out;
}

// Compares `mine` with `other` into `check` and writes the diff picture.
void RunCheck(PictureCheck& check, const LoadedPicture& mine, const LoadedPicture& other, const CheckSettings& settings,
              const std::wstring& diffFile) {
    if (!mine.loaded) {
        check.failed = true;
        check.message = TranslatedText(IDS_CHECK_UNREADABLE, {mine.error});
        return;
    }
    if (!other.loaded) {
        check.failed = true;
        check.message = TranslatedText(IDS_CHECK_OTHER_UNREADABLE, {check.against, other.error});
        return;
    }
    const PictureDifference d = ComparePictures(mine.pixels, other.pixels, settings.tolerance);
    check.compared = true;
    check.width = d.width;
    check.height = d.height;
    check.otherWidth = d.otherWidth;
    check.otherHeight = d.otherHeight;
    check.comparedPixels = d.compared;
    check.differingPixels = d.differing;
    check.percent = d.Percent();
    check.regions = d.regions;
    std::vector<std::wstring> reasons;
    if (check.percent > settings.threshold) {
        reasons.push_back(TranslatedText(
            IDS_CHECK_DIFFERS,
            {FormatPercent(check.percent) + L"%", check.against,
             fw::Format(L"%llu", static_cast<unsigned long long>(d.differing)),
             fw::Format(L"%llu", static_cast<unsigned long long>(d.compared)),
             FormatPercent(settings.threshold) + L"%", FormatRegions(d.regions)}));
    }
    if (d.SizeDiffers())
        reasons.push_back(TranslatedText(IDS_CHECK_SIZES_DIFFER, {fw::Format(L"%d x %d", d.width, d.height),
                                                                  fw::Format(L"%d x %d", d.otherWidth, d.otherHeight)}));
    if (d.differing > 0 || d.SizeDiffers()) {
        std::wstring error;
        if (SavePicture(MakeDiffPicture(other.pixels, d), diffFile, error)) check.diffFile = diffFile;
        else reasons.push_back(TranslatedText(IDS_CHECK_DIFF_NOT_WRITTEN, {error}));
    }
    check.failed = !reasons.empty();
    for (const std::wstring& r : reasons) check.message += (check.message.empty() ? L"" : L"; ") + r;
}

} // namespace

size_t CaptureReport::Failures() const {
    return static_cast<size_t>(std::count_if(pictures.begin(), pictures.end(), [](const PictureResult& p) { return p.failed; }));
}

std::vector<std::wstring> CaptureReport::Addresses() const {
    std::vector<std::wstring> out;
    for (const PictureResult& p : pictures)
        if (std::find(out.begin(), out.end(), p.address) == out.end()) out.push_back(p.address);
    return out;
}

std::vector<std::wstring> CaptureReport::Versions() const {
    std::vector<std::wstring> out;
    for (int v = 0; v < kVersionCount; ++v) {
        const std::wstring name = VersionName(static_cast<IEVERSION>(v));
        if (std::any_of(pictures.begin(), pictures.end(), [&](const PictureResult& p) { return p.versionName == name; }))
            out.push_back(name);
    }
    // Names no version of this build has (a merged report of another build).
    for (const PictureResult& p : pictures)
        if (std::find(out.begin(), out.end(), p.versionName) == out.end()) out.push_back(p.versionName);
    return out;
}

bool HighestVersion(const std::vector<CaptureItem>& items, IEVERSION& version) {
    bool found = false;
    for (const CaptureItem& item : items) {
        if (!found || (item.version != IEDefault && (version == IEDefault || item.version > version))) version = item.version;
        found = true;
    }
    return found;
}

CCaptureChecker::CCaptureChecker(const std::vector<CaptureItem>& items, const CheckSettings& settings, unsigned workers)
    : m_settings(settings) {
    if (settings.compare) m_referenceName = VersionName(settings.reference);
    m_outcomes.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i) m_outcomes[i].item = items[i];
    m_reported.assign(items.size(), 0);
    m_checks.resize(items.size());
    m_groupOf.resize(items.size());
    std::vector<std::wstring> addresses;
    for (size_t i = 0; i < items.size(); ++i) {
        auto it = std::find(addresses.begin(), addresses.end(), items[i].address);
        const size_t g = static_cast<size_t>(it - addresses.begin());
        if (it == addresses.end()) {
            addresses.push_back(items[i].address);
            m_groups.emplace_back();
        }
        m_groups[g].items.push_back(i);
        m_groupOf[i] = g;
    }
    // The baseline folder is made once, before any picture goes there.
    if (!settings.baselineFolder.empty() && settings.updateBaseline)
        m_baselineFolderError = PrepareCaptureFolder(settings.baselineFolder);
    const bool anyWork = settings.compare || !settings.baselineFolder.empty();
    for (unsigned w = 0; anyWork && w < std::max(1u, workers); ++w) m_workers.emplace_back([this] { Work(); });
}

CCaptureChecker::~CCaptureChecker() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers)
        if (t.joinable()) t.join();
}

void CCaptureChecker::Queue(size_t group) {
    if (m_groups[group].queued) return;
    m_groups[group].queued = true;
    if (m_workers.empty()) return;  // nothing to check
    m_queue.push_back(group);
    m_wake.notify_one();
}

void CCaptureChecker::ItemDone(size_t index, const CaptureOutcome& outcome) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (index >= m_outcomes.size() || m_reported[index]) return;
    m_reported[index] = 1;
    m_outcomes[index] = outcome;
    Group& group = m_groups[m_groupOf[index]];
    if (++group.done == group.items.size()) Queue(m_groupOf[index]);
}

void CCaptureChecker::Work() {
    for (;;) {
        size_t group = 0;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) return;
            group = m_queue.front();
            m_queue.pop_front();
        }
        CheckGroup(m_groups[group]);
    }
}

void CCaptureChecker::CheckGroup(const Group& group) {
    // The outcomes of a queued group no longer change: every item of it was
    // reported before it was queued.
    std::map<size_t, std::shared_ptr<LoadedPicture>> loaded;
    auto picture = [&](size_t i) {
        auto& slot = loaded[i];
        if (!slot) slot = Load(m_outcomes[i].item.file);
        return slot;
    };
    for (size_t i : group.items) {
        const CaptureOutcome& mine = m_outcomes[i];
        if (!mine.written) continue;
        std::vector<PictureCheck> checks;
        try {
            if (m_settings.compare && mine.item.version != m_settings.reference) {
                PictureCheck check;
                check.against = m_referenceName;
                auto ref = std::find_if(group.items.begin(), group.items.end(),
                                        [&](size_t j) { return m_outcomes[j].item.version == m_settings.reference; });
                if (ref == group.items.end() || !m_outcomes[*ref].written) {
                    check.failed = true;
                    check.message = TranslatedText(IDS_CHECK_NO_REFERENCE, {m_referenceName});
                } else {
                    check.otherFile = m_outcomes[*ref].item.file;
                    RunCheck(check, *picture(i), *picture(*ref), m_settings, WithSuffix(mine.item.file, L".diff.png"));
                }
                checks.push_back(std::move(check));
            }
            if (!m_settings.baselineFolder.empty()) {
                const std::wstring baseline = m_settings.baselineFolder + L"\\" + FileNameOf(mine.item.file);
                PictureCheck check;
                check.baseline = true;
                check.against = L"baseline";
                check.otherFile = baseline;
                if (m_settings.updateBaseline) {
                    // The picture becomes the baseline; nothing is compared.
                    if (m_baselineFolderError != NO_ERROR) {
                        check.failed = true;
                        check.message = TranslatedText(
                            IDS_CHECK_BASELINE_FOLDER,
                            {m_settings.baselineFolder + L": " + fw::DescribeSystemError(nullptr, m_baselineFolderError)});
                    } else if (!CopyFileW(mine.item.file.c_str(), baseline.c_str(), FALSE)) {
                        check.failed = true;
                        check.message = TranslatedText(
                            IDS_CHECK_BASELINE_COPY, {baseline + L": " + fw::DescribeSystemError(nullptr, GetLastError())});
                    }
                } else if (GetFileAttributesW(baseline.c_str()) == INVALID_FILE_ATTRIBUTES) {
                    check.failed = true;
                    check.message = TranslatedText(IDS_CHECK_NO_BASELINE, {baseline});
                } else {
                    RunCheck(check, *picture(i), *Load(baseline), m_settings,
                             WithSuffix(mine.item.file, L".baseline-diff.png"));
                }
                checks.push_back(std::move(check));
            }
        } catch (const std::exception&) {
            // Out of memory for a picture: this one fails, the run goes on.
            PictureCheck check;
            check.failed = true;
            check.message = TranslatedString(IDS_CHECK_OUT_OF_MEMORY);
            checks.push_back(std::move(check));
        }
        m_checks[i] = std::move(checks);
        // Pictures this group no longer needs are let go early.
        if (!m_settings.compare || mine.item.version != m_settings.reference) loaded.erase(i);
    }
}

CaptureReport CCaptureChecker::Finish(const std::vector<CaptureOutcome>& outcomes) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (size_t i = 0; i < m_outcomes.size() && i < outcomes.size(); ++i) {
            if (m_reported[i]) continue;
            m_reported[i] = 1;
            m_outcomes[i] = outcomes[i];
            ++m_groups[m_groupOf[i]].done;
        }
        for (size_t g = 0; g < m_groups.size(); ++g) Queue(g);
        m_stopping = true;  // the workers end once the queue is empty
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers)
        if (t.joinable()) t.join();

    CaptureReport report;
    report.settings = m_settings;
    report.referenceName = m_referenceName;
    for (size_t i = 0; i < m_outcomes.size(); ++i) {
        const CaptureOutcome& o = m_outcomes[i];
        PictureResult r;
        r.versionName = VersionName(o.item.version);
        r.versionLabel = VersionLabel(o.item.version);
        r.address = o.item.address;
        r.written = o.written;
        r.file = o.written ? o.item.file : std::wstring();
        r.ok = o.ok;
        r.milliseconds = o.milliseconds;
        r.error = o.error;
        r.reference = m_settings.compare && o.item.version == m_settings.reference;
        r.scriptErrorCount = o.scriptErrorCount;
        r.scriptErrors = o.scriptErrors;
        r.checks = std::move(m_checks[i]);
        if (!r.ok) r.failures.push_back(r.error.empty() ? TranslatedString(IDS_CHECK_NOT_TAKEN) : r.error);
        for (const PictureCheck& c : r.checks)
            if (c.failed) r.failures.push_back(c.message);
        if (m_settings.failOnScriptError && r.scriptErrorCount > 0)
            r.failures.push_back(
                TranslatedText(IDS_CHECK_SCRIPT_ERRORS, {fw::Format(L"%u", static_cast<unsigned>(r.scriptErrorCount))}));
        r.failed = !r.failures.empty();
        report.pictures.push_back(std::move(r));
    }
    return report;
}

std::wstring DescribeScriptErrors(const PictureResult& result) {
    std::wstring field = fw::Format(L"script errors: %u", static_cast<unsigned>(result.scriptErrorCount));
    if (!result.scriptErrors.empty()) {
        const CaptureScriptError& e = result.scriptErrors.front();
        field += fw::Format(L" (first: line %ld, char %ld: ", e.line, e.character) + e.message + L")";
    }
    return field;
}

std::wstring FormatResultLine(const CaptureReport& report, const PictureResult& result) {
    std::wstring line = result.versionName + L"\t" + EscapeRecordField(result.address) + L"\t" +
                        (result.written ? EscapeRecordField(result.file) : std::wstring(L"-"));
    if (result.written || result.milliseconds)
        line += fw::Format(L"\t%lu ms", static_cast<unsigned long>(result.milliseconds));
    if (result.reference) line += L"\treference";
    for (const PictureCheck& c : result.checks) {
        if (c.compared)
            line += L"\t" + FormatPercent(c.percent) + L"% against " + c.against;
        else if (c.baseline && report.settings.updateBaseline && !c.failed)
            line += L"\tbaseline updated";
        else
            line += L"\tnot compared with " + c.against;
    }
    if (result.scriptErrorCount > 0) line += L"\t" + EscapeRecordField(DescribeScriptErrors(result));
    line += result.failed ? L"\tfailed" : L"\tpassed";
    if (result.failed) {
        std::wstring all;
        for (const std::wstring& f : result.failures) all += (all.empty() ? L"" : L"; ") + f;
        std::wstring text = TranslatedString(IDS_CAPTURE_ERROR);
        if (const size_t at = text.find(L"%s"); at != std::wstring::npos) text.replace(at, 2, all);
        line += L"\t" + EscapeRecordField(text);
    }
    return line;
}
