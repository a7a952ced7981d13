// Transactions that patch function entries with jumps to detours.
//
// Threads. TransactionCommit suspends every other thread of the process, not
// only those named with UpdateThread: the engine's callers cannot know which
// threads might be executing a target (engine DLLs start their own), and a
// thread caught halfway through the five bytes being replaced would run a
// torn instruction. The threads are enumerated with a Toolhelp32 snapshot
// taken before anything is suspended, because everything that allocates must
// happen first: a suspended thread may own the heap lock, and the commit
// would then deadlock on its next allocation. Between suspension and resume
// the commit only calls VirtualProtect, FlushInstructionCache, the thread
// context functions, DuplicateHandle and event waits, and writes into memory
// prepared earlier; the contexts are read by a thread of the commit's own with
// a time limit per thread (see ContextReader). A suspended
// thread whose instruction pointer lies in bytes being replaced is moved to
// the matching instruction of the trampoline; one inside a trampoline being
// removed is moved back to the matching original instruction. Threads that
// start after the snapshot are not suspended; the patch is written with one
// 8-byte interlocked store when it fits in an aligned quadword, so such a
// thread sees either the old or the new instruction there.
//
// Memory. Trampolines live in 128-byte slots of 64 KiB blocks. On x86-64 a
// block is placed within +-2 GiB of the target (searched downwards, then upwards, with
// VirtualQuery/VirtualAlloc at 64 KiB granularity) so that the target's
// E9 rel32 reaches it and the trampoline's rel32 branches reach back. A slot
// starts with a relay (jmp [rip+0] plus the detour's absolute address) used
// when the detour itself is out of rel32 reach, followed by the trampoline.
// Blocks are read+execute, and read+write+execute only while a slot is filled.
// Released slots keep their code and are reused oldest-first, after every
// never-used slot of the block: a thread that loaded a trampoline pointer just
// before a detach still runs a valid copy of the original entry. Blocks are
// never returned to the system; their number is bounded by the number of
// simultaneous interceptions.
//
// Thunks. Wine's kernel32 exports such as LoadLibraryW are an 8-byte no-op
// followed by jmp [rip+x] into kernelbase. Such a thunk is patched where it
// is (the no-op is relocated, the trampoline jumps back to the indirect jmp)
// rather than followed: callers that go through kernel32, which is how
// modules import these functions, reach the detour, and other users of
// kernelbase are left alone.
#include "interception/interception.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <vector>

#include "interception/x86_code.h"

namespace interception {
namespace {

#if defined(_WIN64)
constexpr int kMode = x86::kMode64;
#else
constexpr int kMode = x86::kMode32;
#endif

constexpr size_t kPatchSize = 5;            // E9 rel32
constexpr size_t kCodeWindow = 32;          // bytes of a target read for relocation
constexpr uintptr_t kRegionSize = 0x10000;  // allocation granularity
constexpr size_t kSlotSize = 128;
constexpr size_t kSlotsPerRegion = kRegionSize / kSlotSize;
constexpr size_t kRelaySize = 16;
constexpr size_t kTrampolineOffset = kRelaySize;
static_assert(kTrampolineOffset + x86::kMaxRelocatedCode <= kSlotSize);
#if defined(_WIN64)
// Largest distance between a target and any byte of its block; well inside
// rel32 reach so that the trampoline's jumps back always fit.
constexpr uintptr_t kReach = 0x7FF00000;
#endif

struct Region {
    uintptr_t base = 0;
    size_t fresh = 0;               // slots [fresh, kSlotsPerRegion) never used
    std::deque<uint16_t> released;  // released slots, oldest first
};

struct Hook {
    uintptr_t target = 0;
    uintptr_t detour = 0;
    Region* region = nullptr;
    uint16_t slotIndex = 0;
    uintptr_t slot = 0;
    uintptr_t trampoline = 0;
    bool relay = false;
    bool retain = false;  // a thread was left inside the trampoline
    size_t covered = 0;
    x86::Relocation reloc;
    uint8_t original[kCodeWindow] = {};
    uint8_t patch[kPatchSize] = {};
};

struct Operation {
    bool attach;
    void** pointer;
    Hook* hook;  // owned by the operation for an attach until it commits
};

struct State {
    SRWLOCK lock = SRWLOCK_INIT;
    bool open = false;
    DWORD owner = 0;
    LONG error = NO_ERROR;
    std::vector<Operation> ops;
    std::vector<HANDLE> threads;
    std::vector<std::unique_ptr<Region>> regions;
    std::vector<std::unique_ptr<Hook>> hooks;  // committed interceptions
    size_t retired = 0;
};

// Never destroyed: detours may run, and be detached, during process exit.
State& GlobalState() {
    static State* state = new State;
    return *state;
}

class Lock {
public:
    explicit Lock(State& s) : s_(s) { AcquireSRWLockExclusive(&s_.lock); }
    ~Lock() { ReleaseSRWLockExclusive(&s_.lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    State& s_;
};

uintptr_t AlignDown(uintptr_t v, uintptr_t a) { return v & ~(a - 1); }

bool Overlaps(uintptr_t a, size_t aSize, uintptr_t b, size_t bSize) { return a < b + bSize && b < a + aSize; }

bool IsExecutableCode(const MEMORY_BASIC_INFORMATION& mbi) {
    if (mbi.State != MEM_COMMIT) return false;
    if (mbi.Protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
    return (mbi.Protect & (PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Copies up to kCodeWindow bytes of committed, readable, executable memory.
size_t ReadCode(uintptr_t address, uint8_t* out) {
    size_t got = 0;
    while (got < kCodeWindow) {
        const uintptr_t p = address + got;
        MEMORY_BASIC_INFORMATION mbi;
        if (!VirtualQuery(reinterpret_cast<void*>(p), &mbi, sizeof mbi)) break;
        if (!IsExecutableCode(mbi)) break;
        const uintptr_t end = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
        size_t n = kCodeWindow - got;
        if (end - p < n) n = end - p;
        std::memcpy(out + got, reinterpret_cast<const void*>(p), n);
        got += n;
    }
    return got;
}

bool WriteSlot(uintptr_t address, const void* data, size_t size) {
    DWORD old;
    void* p = reinterpret_cast<void*>(address);
    if (!VirtualProtect(p, size, PAGE_EXECUTE_READWRITE, &old)) return false;
    std::memcpy(p, data, size);
    DWORD ignored;
    VirtualProtect(p, size, old, &ignored);
    FlushInstructionCache(GetCurrentProcess(), p, size);
    return true;
}

// Writes patch bytes into (already writable) code. When they fit in one
// aligned quadword, a single interlocked store replaces all of them at once.
void WriteCode(uintptr_t address, const uint8_t* bytes, size_t size) {
    const uintptr_t block = AlignDown(address, 8);
    if (address + size <= block + 8) {
        auto* q = reinterpret_cast<volatile LONG64*>(block);
        const LONG64 before = *q;
        LONG64 after = before;
        std::memcpy(reinterpret_cast<uint8_t*>(&after) + (address - block), bytes, size);
        if (InterlockedCompareExchange64(q, after, before) == before) return;
    }
    std::memcpy(reinterpret_cast<void*>(address), bytes, size);
}

bool InReach(uintptr_t base, uintptr_t target) {
#if defined(_WIN64)
    const uintptr_t lo = target > kReach ? target - kReach : 0;
    const uintptr_t hi = target + kReach;  // user addresses are far from overflow
    return base >= lo && base + kRegionSize <= hi;
#else
    (void)base;
    (void)target;
    return true;
#endif
}

void* AllocateBlockAt(uintptr_t address) {
    return VirtualAlloc(reinterpret_cast<void*>(address), kRegionSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

// Reserves and commits a 64 KiB block that every byte of lies within reach
// of target (anywhere on x86).
void* AllocateBlockNear(uintptr_t target) {
#if defined(_WIN64)
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    uintptr_t minAddress = reinterpret_cast<uintptr_t>(si.lpMinimumApplicationAddress);
    const uintptr_t maxAddress = reinterpret_cast<uintptr_t>(si.lpMaximumApplicationAddress);
    minAddress = AlignDown(minAddress + kRegionSize - 1, kRegionSize);
    uintptr_t lo = target > kReach ? target - kReach : 0;
    if (lo < minAddress) lo = minAddress;
    uintptr_t hi = target + kReach - kRegionSize;
    if (hi > maxAddress - kRegionSize + 1) hi = maxAddress - kRegionSize + 1;

    // Downwards from the target.
    uintptr_t p = AlignDown(target, kRegionSize);
    while (p >= lo && p <= hi) {
        MEMORY_BASIC_INFORMATION mbi;
        if (!VirtualQuery(reinterpret_cast<void*>(p), &mbi, sizeof mbi)) break;
        if (mbi.State == MEM_FREE) {
            const uintptr_t end = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
            if (p + kRegionSize <= end) {
                if (void* block = AllocateBlockAt(p)) return block;
            }
            if (p < lo + kRegionSize) break;
            p -= kRegionSize;
            continue;
        }
        uintptr_t base = reinterpret_cast<uintptr_t>(mbi.AllocationBase);
        if (!base) base = reinterpret_cast<uintptr_t>(mbi.BaseAddress);
        base = AlignDown(base, kRegionSize);
        if (base < lo + kRegionSize) break;
        p = base - kRegionSize;
    }

    // Upwards from the target.
    p = AlignDown(target, kRegionSize) + kRegionSize;
    while (p >= lo && p <= hi) {
        MEMORY_BASIC_INFORMATION mbi;
        if (!VirtualQuery(reinterpret_cast<void*>(p), &mbi, sizeof mbi)) break;
        const uintptr_t end = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
        if (mbi.State == MEM_FREE) {
            if (p + kRegionSize <= end) {
                if (void* block = AllocateBlockAt(p)) return block;
            }
            p += kRegionSize;
            continue;
        }
        const uintptr_t next = AlignDown(end + kRegionSize - 1, kRegionSize);
        if (next <= p) break;
        p = next;
    }
    return nullptr;
#else
    (void)target;
    return AllocateBlockAt(0);
#endif
}

Region* NewRegion(State& s, uintptr_t target) {
    void* block = AllocateBlockNear(target);
    if (!block) return nullptr;
    // Filled with int3 so that a stray jump into an unused slot stops at once.
    std::memset(block, 0xCC, kRegionSize);
    DWORD old;
    if (!VirtualProtect(block, kRegionSize, PAGE_EXECUTE_READ, &old)) {
        VirtualFree(block, 0, MEM_RELEASE);
        return nullptr;
    }
    auto region = std::make_unique<Region>();
    region->base = reinterpret_cast<uintptr_t>(block);
    s.regions.push_back(std::move(region));
    return s.regions.back().get();
}

bool InRegions(const State& s, uintptr_t address) {
    for (const auto& r : s.regions) {
        if (address >= r->base && address < r->base + kRegionSize) return true;
    }
    return false;
}

// Hands out a slot in reach of target: never-used slots first, then the
// oldest released one, then a new block.
bool AllocateSlot(State& s, uintptr_t target, Hook* hook) {
    Region* chosen = nullptr;
    uint16_t index = 0;
    for (const auto& r : s.regions) {
        if (r->fresh < kSlotsPerRegion && InReach(r->base, target)) {
            chosen = r.get();
            index = static_cast<uint16_t>(r->fresh++);
            break;
        }
    }
    if (!chosen) {
        for (const auto& r : s.regions) {
            if (!r->released.empty() && InReach(r->base, target)) {
                chosen = r.get();
                index = r->released.front();
                r->released.pop_front();
                break;
            }
        }
    }
    if (!chosen) {
        chosen = NewRegion(s, target);
        if (!chosen) return false;
        index = static_cast<uint16_t>(chosen->fresh++);
    }
    hook->region = chosen;
    hook->slotIndex = index;
    hook->slot = chosen->base + index * kSlotSize;
    hook->trampoline = hook->slot + kTrampolineOffset;
    return true;
}

void ReleaseSlot(Hook* hook) {
    if (hook->region) hook->region->released.push_back(hook->slotIndex);
    hook->region = nullptr;
}

LONG CheckOwner(const State& s) {
    if (!s.open || s.owner != GetCurrentThreadId()) return ERROR_INVALID_OPERATION;
    return NO_ERROR;
}

LONG Record(State& s, LONG error) {
    if (error != NO_ERROR && s.error == NO_ERROR) s.error = error;
    return error;
}

bool PointerQueued(const State& s, void** pointer) {
    for (const Operation& op : s.ops) {
        if (op.pointer == pointer) return true;
    }
    return false;
}

// True if [address, address+size) overlaps an interception, committed or queued.
bool Intercepted(const State& s, uintptr_t address, size_t size, const Hook* except) {
    for (const auto& h : s.hooks) {
        if (h.get() != except && Overlaps(address, size, h->target, h->covered)) return true;
    }
    for (const Operation& op : s.ops) {
        if (op.attach && op.hook != except && Overlaps(address, size, op.hook->target, op.hook->covered)) {
            return true;
        }
    }
    return false;
}

LONG AttachLocked(State& s, void** pointer, void* detourPointer) {
    if (!pointer || !detourPointer || !*pointer) return ERROR_INVALID_PARAMETER;
    const uintptr_t target = reinterpret_cast<uintptr_t>(*pointer);
    const uintptr_t detour = reinterpret_cast<uintptr_t>(detourPointer);
    if (target == detour || PointerQueued(s, pointer)) return ERROR_INVALID_PARAMETER;
    if (InRegions(s, target)) return ERROR_INVALID_ADDRESS;
    if (Intercepted(s, target, kPatchSize, nullptr)) return ERROR_ALREADY_EXISTS;

    uint8_t code[kCodeWindow];
    const size_t size = ReadCode(target, code);
    if (size == 0) return ERROR_INVALID_ADDRESS;

    auto hook = std::make_unique<Hook>();
    hook->target = target;
    hook->detour = detour;
    if (!AllocateSlot(s, target, hook.get())) return ERROR_NOT_ENOUGH_MEMORY;

    LONG error = NO_ERROR;
    if (x86::Relocate(code, size, target, hook->trampoline, kMode, kPatchSize, &hook->reloc) !=
        x86::RelocateStatus::kOk) {
        error = ERROR_INVALID_DATA;
    } else {
        hook->covered = hook->reloc.sourceSize;
        if (detour >= target && detour < target + hook->covered) {
            error = ERROR_INVALID_PARAMETER;
        } else if (Intercepted(s, target, hook->covered, hook.get())) {
            error = ERROR_ALREADY_EXISTS;
        }
    }
    if (error != NO_ERROR) {
        ReleaseSlot(hook.get());
        return error;
    }
    std::memcpy(hook->original, code, hook->covered);

    // The slot: relay (when the detour is out of rel32 reach), then trampoline.
    uint8_t image[kSlotSize];
    std::memset(image, 0xCC, sizeof image);
    uintptr_t jumpTo = detour;
    if (!x86::Rel32Reaches(target + kPatchSize, detour, kMode)) {
        x86::EncodeJump(hook->slot, detour, kMode, image, kRelaySize);  // absolute form
        hook->relay = true;
        jumpTo = hook->slot;
    }
    std::memcpy(image + kTrampolineOffset, hook->reloc.code, hook->reloc.codeSize);
    if (!WriteSlot(hook->slot, image, kTrampolineOffset + hook->reloc.codeSize)) {
        ReleaseSlot(hook.get());
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    x86::EncodeJump(target, jumpTo, kMode, hook->patch, sizeof hook->patch);

    s.ops.push_back({true, pointer, hook.release()});
    return NO_ERROR;
}

LONG DetachLocked(State& s, void** pointer, void* detourPointer) {
    if (!pointer || !detourPointer || !*pointer) return ERROR_INVALID_PARAMETER;
    const uintptr_t trampoline = reinterpret_cast<uintptr_t>(*pointer);
    Hook* hook = nullptr;
    for (const auto& h : s.hooks) {
        if (h->trampoline == trampoline) hook = h.get();
    }
    if (!hook) return ERROR_NOT_FOUND;
    if (hook->detour != reinterpret_cast<uintptr_t>(detourPointer)) return ERROR_INVALID_PARAMETER;
    if (PointerQueued(s, pointer)) return ERROR_INVALID_PARAMETER;
    for (const Operation& op : s.ops) {
        if (op.hook == hook) return ERROR_INVALID_PARAMETER;
    }
    s.ops.push_back({false, pointer, hook});
    return NO_ERROR;
}

void DiscardOperations(State& s) {
    for (Operation& op : s.ops) {
        if (op.attach) {
            ReleaseSlot(op.hook);
            delete op.hook;
        }
    }
    s.ops.clear();
}

void CloseTransaction(State& s) {
    s.ops.clear();
    s.threads.clear();
    s.error = NO_ERROR;
    s.open = false;
    s.owner = 0;
}

std::vector<DWORD> OtherThreadsOfProcess() {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    const DWORD pid = GetCurrentProcessId();
    const DWORD self = GetCurrentThreadId();
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pid && entry.th32ThreadID != self) ids.push_back(entry.th32ThreadID);
        entry.dwSize = sizeof entry;
    }
    CloseHandle(snapshot);
    return ids;
}

struct SuspendedThread {
    HANDLE handle;
    DWORD id;
    bool owned;  // opened by the commit, closed after resume
    bool haveContext;
};

#if defined(_WIN64)
DWORD_PTR& InstructionPointer(CONTEXT& c) { return c.Rip; }
#else
DWORD& InstructionPointer(CONTEXT& c) { return c.Eip; }
#endif

// Where a thread stopped at ip should continue once the operations are in
// place. A thread inside a trampoline being removed, at a point with no
// equivalent in the original code, stays where it is and the hook's slot is
// marked to be kept forever.
uintptr_t MapInstructionPointer(const State& s, uintptr_t ip) {
    for (const Operation& op : s.ops) {
        const Hook* h = op.hook;
        if (op.attach) {
            if (ip >= h->target && ip < h->target + h->covered) {
                for (size_t i = 0; i < h->reloc.instructionCount; ++i) {
                    if (ip == h->target + h->reloc.instructions[i].source) {
                        return h->trampoline + h->reloc.instructions[i].dest;
                    }
                }
            }
        } else {
            if (h->relay && ip >= h->slot && ip < h->slot + kRelaySize) return h->detour;
            if (ip >= h->trampoline && ip < h->trampoline + h->reloc.codeSize) {
                for (size_t i = 0; i < h->reloc.resumeCount; ++i) {
                    if (ip == h->trampoline + h->reloc.resume[i].dest) {
                        return static_cast<uintptr_t>(h->reloc.resume[i].address);
                    }
                }
                op.hook->retain = true;
            }
        }
    }
    return ip;
}

// Reads the contexts of suspended threads on a thread of its own, so that the
// commit waits a bounded time for each. Under Wine, GetThreadContext of a
// thread that was suspended while just starting or ending can wait for good
// (the thread never reaches the point where it reports its context); such a
// thread is left where it is, which is safe because it runs no code of a
// target yet (or any more); the threads after it are read directly. The reader is created before anything is
// suspended (creating a thread allocates and takes the loader lock, which a
// suspended thread may hold) and owns duplicates of the thread handles, so a
// read still pending when the commit ends touches nothing of the commit. The
// last of the commit and the reader to let go frees the shared record.
struct ContextReader {
    // Long enough for a busy machine; a context that has not come by then
    // does not come at all.
    static constexpr DWORD kWaitPerThreadMs = 3000;

    LONG refs = 2;
    HANDLE ready = nullptr;     // the reader runs
    HANDLE go = nullptr;        // the handles are filled in
    HANDLE progress = nullptr;  // one more context was read (or failed)
    volatile LONG abandoned = 0;
    size_t count = 0;
    std::vector<HANDLE> handles;
    std::vector<CONTEXT> contexts;
    std::vector<LONG> state;  // 0 pending, 1 read, 2 failed

    explicit ContextReader(size_t capacity) : handles(capacity, nullptr), contexts(capacity), state(capacity, 0) {
        ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        progress = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~ContextReader() {
        for (HANDLE h : handles) {
            if (h) CloseHandle(h);
        }
        for (HANDLE e : {ready, go, progress}) {
            if (e) CloseHandle(e);
        }
    }
    bool usable() const { return ready && go && progress; }
    void release() {
        if (InterlockedDecrement(&refs) == 0) delete this;
    }

    static DWORD WINAPI Run(void* p) {
        auto r = static_cast<ContextReader*>(p);
        SetEvent(r->ready);
        WaitForSingleObject(r->go, INFINITE);
        for (size_t i = 0; i < r->count && !r->abandoned; ++i) {
            r->contexts[i].ContextFlags = CONTEXT_CONTROL;
            const BOOL ok = r->handles[i] && GetThreadContext(r->handles[i], &r->contexts[i]);
            InterlockedExchange(&r->state[i], ok ? 1 : 2);
            SetEvent(r->progress);
        }
        r->release();
        return 0;
    }
};

// Starts a reader for up to `capacity` threads; null (the commit then reads
// the contexts itself) when it cannot be started.
ContextReader* StartContextReader(size_t capacity, DWORD& readerId) {
    auto r = new (std::nothrow) ContextReader(capacity);
    if (!r) return nullptr;
    HANDLE thread = r->usable() ? CreateThread(nullptr, 0, &ContextReader::Run, r, 0, &readerId) : nullptr;
    if (!thread) {
        delete r;
        return nullptr;
    }
    CloseHandle(thread);
    WaitForSingleObject(r->ready, INFINITE);
    return r;
}

// Applies s.ops with every other thread suspended. Nothing that can fail
// happens after the first byte of a target is written.
LONG Apply(State& s) {
    // Allocations first (see the top of this file).
    DWORD readerId = 0;
    ContextReader* reader = StartContextReader(OtherThreadsOfProcess().size() + s.threads.size() + 16, readerId);
    std::vector<DWORD> ids = OtherThreadsOfProcess();
    // The reader is no thread of the callers' and must not be suspended;
    // threads that came since its capacity was counted go without a reader.
    ids.erase(std::remove(ids.begin(), ids.end(), readerId), ids.end());
    if (reader && ids.size() + s.threads.size() > reader->handles.size()) {
        reader->abandoned = 1;
        SetEvent(reader->go);
        reader->release();
        reader = nullptr;
    }
    std::vector<SuspendedThread> suspended;
    suspended.reserve(ids.size() + s.threads.size());
    std::vector<CONTEXT> contexts(ids.size() + s.threads.size());
    std::vector<DWORD> oldProtect(s.ops.size());
    s.hooks.reserve(s.hooks.size() + s.ops.size());

    for (DWORD id : ids) {
        HANDLE h = OpenThread(
            THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_SET_CONTEXT | THREAD_QUERY_LIMITED_INFORMATION, FALSE,
            id);
        if (!h) continue;  // exited since the snapshot
        if (SuspendThread(h) == static_cast<DWORD>(-1)) {
            CloseHandle(h);
            continue;
        }
        suspended.push_back({h, id, true, false});
    }
    for (HANDLE h : s.threads) {
        const DWORD id = GetThreadId(h);
        bool known = false;
        for (const SuspendedThread& t : suspended) known = known || t.id == id;
        if (known || SuspendThread(h) == static_cast<DWORD>(-1)) continue;
        suspended.push_back({h, id, false, false});
    }
    // Reading the context also waits until the suspension has taken effect.
    if (reader) {
        for (size_t i = 0; i < suspended.size(); ++i) {
            DuplicateHandle(GetCurrentProcess(), suspended[i].handle, GetCurrentProcess(), &reader->handles[i], 0,
                            FALSE, DUPLICATE_SAME_ACCESS);
        }
        reader->count = suspended.size();
        SetEvent(reader->go);
        for (size_t i = 0; i < suspended.size(); ++i) {
            const ULONGLONG end = GetTickCount64() + ContextReader::kWaitPerThreadMs;
            while (reader->state[i] == 0) {
                const ULONGLONG now = GetTickCount64();
                if (now >= end) break;
                WaitForSingleObject(reader->progress, static_cast<DWORD>(end - now));
            }
            if (reader->state[i] == 0) {
                // This thread's context never came: it stays where it is (see
                // ContextReader). The reader is stuck with it, so the threads
                // after it are read here; one of them being stuck as well is
                // the rare case this cannot bound.
                InterlockedExchange(&reader->abandoned, 1);
                for (size_t j = i + 1; j < suspended.size(); ++j) {
                    contexts[j].ContextFlags = CONTEXT_CONTROL;
                    suspended[j].haveContext = GetThreadContext(suspended[j].handle, &contexts[j]) != FALSE;
                }
                break;
            }
            suspended[i].haveContext = reader->state[i] == 1;
            if (suspended[i].haveContext) contexts[i] = reader->contexts[i];
        }
    } else {
        for (size_t i = 0; i < suspended.size(); ++i) {
            contexts[i].ContextFlags = CONTEXT_CONTROL;
            suspended[i].haveContext = GetThreadContext(suspended[i].handle, &contexts[i]) != FALSE;
        }
    }

    auto resumeAll = [&] {
        for (const SuspendedThread& t : suspended) {
            ResumeThread(t.handle);
            if (t.owned) CloseHandle(t.handle);
        }
        if (reader) {
            InterlockedExchange(&reader->abandoned, 1);
            SetEvent(reader->go);
            reader->release();
            reader = nullptr;
        }
    };

    // The bytes must still be what Attach saw (or what this module wrote).
    for (const Operation& op : s.ops) {
        const Hook* h = op.hook;
        const void* at = reinterpret_cast<const void*>(h->target);
        const bool same =
            op.attach ? std::memcmp(at, h->original, h->covered) == 0 : std::memcmp(at, h->patch, kPatchSize) == 0;
        if (!same) {
            resumeAll();
            return ERROR_INVALID_DATA;
        }
    }

    for (size_t i = 0; i < s.ops.size(); ++i) {
        void* at = reinterpret_cast<void*>(s.ops[i].hook->target);
        if (!VirtualProtect(at, kPatchSize, PAGE_EXECUTE_READWRITE, &oldProtect[i])) {
            const LONG error = static_cast<LONG>(GetLastError());
            for (size_t j = i; j-- > 0;) {
                DWORD ignored;
                VirtualProtect(reinterpret_cast<void*>(s.ops[j].hook->target), kPatchSize, oldProtect[j], &ignored);
            }
            resumeAll();
            return error != NO_ERROR ? error : ERROR_ACCESS_DENIED;
        }
    }

    // From here on nothing fails. The trampoline pointer is published before
    // the jump to the detour exists, so a detour never sees the target in it.
    for (const Operation& op : s.ops) {
        if (op.attach) *op.pointer = reinterpret_cast<void*>(op.hook->trampoline);
    }
    for (const Operation& op : s.ops) {
        const Hook* h = op.hook;
        WriteCode(h->target, op.attach ? h->patch : h->original, kPatchSize);
        FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(h->target), kPatchSize);
    }
    for (const Operation& op : s.ops) {
        if (!op.attach) *op.pointer = reinterpret_cast<void*>(op.hook->target);
    }
    for (size_t j = s.ops.size(); j-- > 0;) {
        DWORD ignored;
        VirtualProtect(reinterpret_cast<void*>(s.ops[j].hook->target), kPatchSize, oldProtect[j], &ignored);
    }

    for (size_t i = 0; i < suspended.size(); ++i) {
        if (!suspended[i].haveContext) continue;
        const uintptr_t ip = InstructionPointer(contexts[i]);
        const uintptr_t moved = MapInstructionPointer(s, ip);
        if (moved != ip) {
            InstructionPointer(contexts[i]) = moved;
            contexts[i].ContextFlags = CONTEXT_CONTROL;
            SetThreadContext(suspended[i].handle, &contexts[i]);
        }
    }
    resumeAll();

    // Bookkeeping (allocation is safe again).
    for (const Operation& op : s.ops) {
        if (op.attach) {
            s.hooks.emplace_back(op.hook);
            continue;
        }
        for (size_t i = 0; i < s.hooks.size(); ++i) {
            if (s.hooks[i].get() != op.hook) continue;
            if (op.hook->retain) {
                ++s.retired;  // its slot stays reserved for good
            } else {
                ReleaseSlot(op.hook);
            }
            s.hooks.erase(s.hooks.begin() + static_cast<ptrdiff_t>(i));
            break;
        }
    }
    s.ops.clear();
    return NO_ERROR;
}

}  // namespace

LONG TransactionBegin() {
    State& s = GlobalState();
    Lock lock(s);
    if (s.open) return ERROR_INVALID_OPERATION;
    s.open = true;
    s.owner = GetCurrentThreadId();
    s.error = NO_ERROR;
    return NO_ERROR;
}

LONG UpdateThread(HANDLE thread) {
    State& s = GlobalState();
    Lock lock(s);
    if (LONG e = CheckOwner(s)) return e;
    if (!thread || thread == INVALID_HANDLE_VALUE) return Record(s, ERROR_INVALID_HANDLE);
    const DWORD id = GetThreadId(thread);
    if (!id) return Record(s, ERROR_INVALID_HANDLE);
    if (GetProcessIdOfThread(thread) != GetCurrentProcessId()) return Record(s, ERROR_INVALID_PARAMETER);
    if (id == GetCurrentThreadId()) return NO_ERROR;  // the committing thread runs on
    s.threads.push_back(thread);
    return NO_ERROR;
}

LONG Attach(void** ppPointer, void* detour) {
    State& s = GlobalState();
    Lock lock(s);
    if (LONG e = CheckOwner(s)) return e;
    return Record(s, AttachLocked(s, ppPointer, detour));
}

LONG Detach(void** ppPointer, void* detour) {
    State& s = GlobalState();
    Lock lock(s);
    if (LONG e = CheckOwner(s)) return e;
    return Record(s, DetachLocked(s, ppPointer, detour));
}

LONG TransactionCommit() {
    State& s = GlobalState();
    Lock lock(s);
    if (LONG e = CheckOwner(s)) return e;
    LONG error = s.error;
    if (error == NO_ERROR && !s.ops.empty()) error = Apply(s);
    if (error != NO_ERROR) DiscardOperations(s);
    CloseTransaction(s);
    return error;
}

LONG TransactionAbort() {
    State& s = GlobalState();
    Lock lock(s);
    if (LONG e = CheckOwner(s)) return e;
    DiscardOperations(s);
    CloseTransaction(s);
    return NO_ERROR;
}

MemoryStats GetMemoryStats() {
    State& s = GlobalState();
    Lock lock(s);
    MemoryStats stats{};
    stats.regions = s.regions.size();
    stats.slotsInUse = s.hooks.size();
    for (const Operation& op : s.ops) {
        if (op.attach) ++stats.slotsInUse;
    }
    stats.slotsRetired = s.retired;
    return stats;
}

}  // namespace interception
