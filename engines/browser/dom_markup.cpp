// The markup services: markup pointers (places between nodes that follow
// the content when it moves), making detached elements from tag ids, and
// inserting an element around the content between two pointers.
#include "engines/browser/dom_internal.h"

#include "standin_stubs.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace standin::dom {
namespace {

using render::Element;

// Answered only by this model's markup pointers, to reach their position.
constexpr GUID kPointerObjectIid = {0x2b8e6c10, 0x7f3d, 0x4e21, {0xa4, 0x5c, 0x91, 0x0e, 0x6b, 0x27, 0xd8, 0x3f}};

class PointerObject;

// Every live markup pointer, by the thread it lives on, so that moving
// content can carry the pointers of its tree along. The objects are
// apartment-threaded and a page's tree belongs to its control's thread;
// controls of one version on several threads share this library, so each
// thread has its own set. The sets are kept in one table under a lock, not
// in thread_local storage: a thread_local set (whose destructor this
// library's runtime runs as the thread ends) damaged the process heap when
// several engine threads that had used it ended together.
class LivePointerTable {
public:
    LivePointerTable() { InitializeCriticalSection(&lock_); }
    ~LivePointerTable() { DeleteCriticalSection(&lock_); }
    LivePointerTable(const LivePointerTable&) = delete;
    LivePointerTable& operator=(const LivePointerTable&) = delete;

    void Add(PointerObject* pointer) {
        Hold hold(lock_);
        byThread_[GetCurrentThreadId()].insert(pointer);
    }
    void Remove(PointerObject* pointer) {
        Hold hold(lock_);
        auto it = byThread_.find(GetCurrentThreadId());
        if (it == byThread_.end()) return;
        it->second.erase(pointer);
        if (it->second.empty()) byThread_.erase(it);
    }
    // The calling thread's pointers, as they are now.
    std::vector<PointerObject*> OfThisThread() {
        Hold hold(lock_);
        auto it = byThread_.find(GetCurrentThreadId());
        if (it == byThread_.end()) return {};
        return std::vector<PointerObject*>(it->second.begin(), it->second.end());
    }

private:
    struct Hold {
        explicit Hold(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
        ~Hold() { LeaveCriticalSection(&section_); }
        CRITICAL_SECTION& section_;
    };
    CRITICAL_SECTION lock_;
    std::unordered_map<DWORD, std::unordered_set<PointerObject*>> byThread_;
};

LivePointerTable& LivePointers() {
    static LivePointerTable table;
    return table;
}

// The path of child indexes from the tree's root down to a position; two
// positions in one tree compare in document order by their paths.
std::vector<std::size_t> PathOf(const Position& position) {
    std::vector<std::size_t> path{position.index};
    for (const Element* e = position.container; e->parent; e = e->parent) path.push_back(IndexInParent(*e));
    std::reverse(path.begin(), path.end());
    return path;
}

class PointerObject final : public ComObject<IMarkupPointerStubs> {
public:
    explicit PointerObject(const Anchor& anchor) : anchor_(anchor) { LivePointers().Add(this); }
    ~PointerObject() override { LivePointers().Remove(this); }

    const Anchor& anchor() const { return anchor_; }
    const std::optional<Position>& position() const { return position_; }
    POINTER_GRAVITY gravity() const { return gravity_; }
    void MoveTo(const Anchor& anchor, const Position& position) {
        anchor_ = anchor;
        position_ = position;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, __uuidof(IMarkupPointer)) &&
            !IsEqualIID(iid, kPointerObjectIid))
            return E_NOINTERFACE;
        *out = static_cast<IMarkupPointer*>(this);
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OwningDoc(IHTMLDocument2** doc) override {
        if (!doc) return E_POINTER;
        return MakeDocument(anchor_, __uuidof(IHTMLDocument2), reinterpret_cast<void**>(doc));
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IMarkupContainer** container) override {
        if (!container) return E_POINTER;
        *container = nullptr;
        if (!position_) return E_UNEXPECTED;
        if (!IsInPage(*anchor_.page, position_->container)) return E_NOTIMPL;
        return MakeDocument(anchor_, __uuidof(IMarkupContainer), reinterpret_cast<void**>(container));
    }
    HRESULT STDMETHODCALLTYPE Gravity(POINTER_GRAVITY* gravity) override {
        if (!gravity) return E_POINTER;
        *gravity = gravity_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetGravity(POINTER_GRAVITY gravity) override {
        if (gravity != POINTER_GRAVITY_Left && gravity != POINTER_GRAVITY_Right) return E_INVALIDARG;
        gravity_ = gravity;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Cling(WINBOOL* cling) override {
        if (!cling) return E_POINTER;
        *cling = cling_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCling(WINBOOL cling) override {
        cling_ = cling ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unposition() override {
        position_.reset();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPositioned(WINBOOL* positioned) override {
        if (!positioned) return E_POINTER;
        *positioned = position_ ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveAdjacentToElement(IHTMLElement* element, ELEMENT_ADJACENCY where) override {
        Anchor anchor;
        Element* e = nullptr;
        if (!ElementOf(element, &anchor, &e)) return E_INVALIDARG;
        Position position;
        switch (where) {
        case ELEM_ADJ_BeforeBegin:
        case ELEM_ADJ_AfterEnd:
            if (!e->parent) return E_UNEXPECTED;  // a detached element has no outside
            position.container = e->parent;
            position.index = IndexInParent(*e) + (where == ELEM_ADJ_AfterEnd ? 1 : 0);
            break;
        case ELEM_ADJ_AfterBegin:
            position.container = e;
            position.index = 0;
            break;
        case ELEM_ADJ_BeforeEnd:
            position.container = e;
            position.index = e->children.size();
            break;
        default:
            return E_INVALIDARG;
        }
        MoveTo(anchor, position);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveToPointer(IMarkupPointer* other) override {
        Anchor anchor;
        std::optional<Position> position;
        if (!PointerOf(other, &anchor, &position)) return E_INVALIDARG;
        if (!position) return E_UNEXPECTED;
        MoveTo(anchor, *position);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CurrentScope(IHTMLElement** element) override {
        if (!element) return E_POINTER;
        *element = nullptr;
        if (!position_) return E_UNEXPECTED;
        Element* scope = position_->container;
        if (scope->tag == L"#document") return S_OK;
        return MakeElement(anchor_, scope, __uuidof(IHTMLElement), reinterpret_cast<void**>(element));
    }
    HRESULT STDMETHODCALLTYPE IsLeftOf(IMarkupPointer* other, WINBOOL* result) override {
        return Compare(other, result, [](int c) { return c < 0; });
    }
    HRESULT STDMETHODCALLTYPE IsLeftOfOrEqualTo(IMarkupPointer* other, WINBOOL* result) override {
        return Compare(other, result, [](int c) { return c <= 0; });
    }
    HRESULT STDMETHODCALLTYPE IsRightOf(IMarkupPointer* other, WINBOOL* result) override {
        return Compare(other, result, [](int c) { return c > 0; });
    }
    HRESULT STDMETHODCALLTYPE IsRightOfOrEqualTo(IMarkupPointer* other, WINBOOL* result) override {
        return Compare(other, result, [](int c) { return c >= 0; });
    }
    HRESULT STDMETHODCALLTYPE IsEqualTo(IMarkupPointer* other, WINBOOL* result) override {
        return Compare(other, result, [](int c) { return c == 0; });
    }

private:
    template <typename Test>
    HRESULT Compare(IMarkupPointer* other, WINBOOL* result, Test test) {
        if (!result) return E_POINTER;
        *result = FALSE;
        Anchor anchor;
        std::optional<Position> theirs;
        if (!PointerOf(other, &anchor, &theirs)) return E_INVALIDARG;
        if (!position_ || !theirs) return E_UNEXPECTED;
        if (TreeRoot(position_->container) != TreeRoot(theirs->container)) return E_INVALIDARG;
        auto mine = PathOf(*position_);
        auto other_path = PathOf(*theirs);
        int order = mine < other_path ? -1 : (other_path < mine ? 1 : 0);
        *result = test(order) ? TRUE : FALSE;
        return S_OK;
    }

    Anchor anchor_;
    std::optional<Position> position_;
    POINTER_GRAVITY gravity_ = POINTER_GRAVITY_Left;
    WINBOOL cling_ = FALSE;
};

struct TagName {
    ELEMENT_TAG_ID id;
    const wchar_t* name;
};

// The tags CreateElement makes: content and text containers (frames,
// links and form controls are not made this way here).
const TagName kTags[] = {
    {TAGID_DIV, L"div"},     {TAGID_SPAN, L"span"},   {TAGID_P, L"p"},
    {TAGID_B, L"b"},         {TAGID_I, L"i"},         {TAGID_U, L"u"},
    {TAGID_EM, L"em"},       {TAGID_STRONG, L"strong"}, {TAGID_FONT, L"font"},
    {TAGID_CENTER, L"center"}, {TAGID_SMALL, L"small"}, {TAGID_BIG, L"big"},
    {TAGID_CODE, L"code"},   {TAGID_TT, L"tt"},       {TAGID_PRE, L"pre"},
    {TAGID_BLOCKQUOTE, L"blockquote"}, {TAGID_H1, L"h1"}, {TAGID_H2, L"h2"},
    {TAGID_H3, L"h3"},       {TAGID_H4, L"h4"},       {TAGID_H5, L"h5"},
    {TAGID_H6, L"h6"},       {TAGID_UL, L"ul"},       {TAGID_OL, L"ol"},
    {TAGID_LI, L"li"},       {TAGID_BR, L"br"},       {TAGID_HR, L"hr"},
};

}  // namespace

bool PointerOf(IUnknown* object, Anchor* anchor, std::optional<Position>* position) {
    if (!object) return false;
    IMarkupPointer* inner = nullptr;
    if (FAILED(object->QueryInterface(kPointerObjectIid, reinterpret_cast<void**>(&inner))) || !inner)
        return false;
    auto* pointer = static_cast<PointerObject*>(inner);
    if (anchor) *anchor = pointer->anchor();
    if (position) *position = pointer->position();
    inner->Release();
    return true;
}

HRESULT MakeMarkupPointer(const Anchor& anchor, IMarkupPointer** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) PointerObject(anchor);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Where content moved by WrapChildren leaves the pointers in `parent`: those
// before the run stay, those inside it go into the wrapper, those after it
// shift. A pointer at an edge of the run stays outside the wrapper or goes
// inside it as its gravity says: left gravity keeps it with the content on
// its left.
void AdjustPointersForWrap(Element* parent, std::size_t first, std::size_t last, Element* wrapper,
                           std::size_t existing) {
    std::size_t moved = last - first;
    for (PointerObject* pointer : LivePointers().OfThisThread()) {
        const auto& position = pointer->position();
        if (!position || position->container != parent) continue;
        std::size_t k = position->index;
        bool right = pointer->gravity() == POINTER_GRAVITY_Right;
        Position next = *position;
        if (k < first) continue;
        if (k > last) {
            next.index = k - moved + 1;
        } else if (moved == 0) {  // an empty wrapper put at the pointer
            next.index = right ? first + 1 : first;
        } else if (k == first) {
            if (right) next = Position{wrapper, existing};
        } else if (k == last) {
            next = right ? Position{parent, first + 1} : Position{wrapper, existing + moved};
        } else {
            next = Position{wrapper, existing + (k - first)};
        }
        pointer->MoveTo(pointer->anchor(), next);
    }
}

HRESULT CreateElementFromTag(const Anchor& anchor, ELEMENT_TAG_ID tag, const OLECHAR* attributes,
                             IHTMLElement** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto it = std::find_if(std::begin(kTags), std::end(kTags), [&](const TagName& t) { return t.id == tag; });
    if (it == std::end(kTags)) return E_NOTIMPL;
    auto tree = std::make_shared<DetachedTree>();
    tree->root = std::make_unique<Element>();
    tree->root->tag = it->name;
    if (attributes) tree->root->attributes = ParseAttributeText(attributes);
    Element* e = tree->root.get();
    return MakeElement(Anchor{anchor.page, anchor.context, tree}, e, __uuidof(IHTMLElement),
                       reinterpret_cast<void**>(out));
}

HRESULT InsertElementAt(const Anchor& anchor, IHTMLElement* element, IMarkupPointer* start,
                        IMarkupPointer* finish) {
    Anchor elementAnchor;
    Element* e = nullptr;
    if (!ElementOf(element, &elementAnchor, &e)) return E_INVALIDARG;
    std::optional<Position> from, to;
    if (!PointerOf(start, nullptr, &from) || !from) return E_INVALIDARG;
    if (finish) {
        if (!PointerOf(finish, nullptr, &to) || !to) return E_INVALIDARG;
    } else {
        to = from;
    }
    // Only a new element that is not in any tree yet, and only into this page.
    auto& tree = elementAnchor.detached;
    if (!tree || tree->root.get() != e || elementAnchor.page != anchor.page) return E_INVALIDARG;
    if (!IsInPage(*anchor.page, from->container) || !IsInPage(*anchor.page, to->container))
        return E_INVALIDARG;
    if (from->container != to->container) return E_NOTIMPL;  // runs across containers
    Element* parent = from->container;
    if (parent->IsText()) return E_INVALIDARG;
    std::size_t first = std::min(from->index, to->index);
    std::size_t last = std::max(from->index, to->index);
    if (last > parent->children.size()) return E_INVALIDARG;
    WrapChildren(*parent, first, last, std::move(tree->root));
    anchor.Changed();
    return S_OK;
}

}  // namespace standin::dom
