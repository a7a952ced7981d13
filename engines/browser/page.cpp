// Pages built from markup in hand, and the text-size steps.
#include "engines/browser/loader.h"

namespace standin {

std::shared_ptr<Page> PageFromMarkup(const std::wstring& url, const std::wstring& html, int version) {
    auto page = std::make_shared<Page>();
    page->url = url;
    page->version = version;
    page->document = render::ParseHtml(html, version);
    return page;
}

int TextSizePercent(int level) {
    static const int kPercents[] = {70, 85, 100, 120, 150};
    if (level < 0) level = 0;
    if (level > 4) level = 4;
    return kPercents[level];
}

}  // namespace standin
