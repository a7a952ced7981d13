// Relocation of prologue instructions: the produced bytes are decoded again
// and the branch / operand targets they encode are computed from the raw
// displacements, then compared with the targets of the original code.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "code_buffer.h"
#include "interception/x86_code.h"

namespace x86 = interception::x86;
using interception_test::CodeBuffer;

namespace {

constexpr uint64_t kSrc64 = 0x00007FF612340000ull;
constexpr uint64_t kNear64 = kSrc64 - 0x10000000ull;  // 256 MiB below
constexpr uint64_t kFar64 = kSrc64 + 0x300000000ull;  // 12 GiB above

uint64_t Wrap(uint64_t a, int mode) { return mode == x86::kMode32 ? (a & 0xFFFFFFFFull) : a; }

int64_t ReadDisp(const uint8_t* p, size_t size) {
    if (size == 1) return static_cast<int8_t>(p[0]);
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint64_t ReadU64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct Step {
    size_t offset;
    x86::Instruction in;
};

// Decodes `count` consecutive instructions of the output starting at `from`.
std::vector<Step> Walk(const x86::Relocation& r, int mode, size_t from, size_t count) {
    std::vector<Step> steps;
    size_t off = from;
    for (size_t i = 0; i < count; ++i) {
        Step s{off, {}};
        EXPECT_EQ(x86::Decode(r.code + off, r.codeSize - off, mode, &s.in), x86::DecodeStatus::kOk)
            << "at output offset " << off;
        if (s.in.length == 0) break;
        steps.push_back(s);
        off += s.in.length;
    }
    return steps;
}

// Target of a relative branch in the output placed at dest.
uint64_t BranchTarget(const x86::Relocation& r, const Step& s, uint64_t dest, int mode) {
    const int64_t rel = ReadDisp(r.code + s.offset + s.in.dispOffset, s.in.dispSize);
    return Wrap(dest + s.offset + s.in.length + static_cast<uint64_t>(rel), mode);
}

// Address a RIP-relative operand of the output refers to.
uint64_t RipTarget(const x86::Relocation& r, const Step& s, uint64_t dest) {
    return dest + s.offset + s.in.length + static_cast<uint64_t>(ReadDisp(r.code + s.offset + s.in.dispOffset, 4));
}

x86::RelocateStatus RelocateBytes(const std::vector<uint8_t>& code, uint64_t src, uint64_t dest, int mode,
                                  x86::Relocation* r, size_t minimum = 5) {
    return x86::Relocate(code.data(), code.size(), src, dest, mode, minimum, r);
}

void ExpectJumpBack(const x86::Relocation& r, uint64_t src, uint64_t dest, int mode) {
    const std::vector<Step> back = Walk(r, mode, r.jumpBackOffset, 1);
    ASSERT_EQ(back.size(), 1u);
    if (r.code[r.jumpBackOffset] == 0xE9) {
        EXPECT_EQ(BranchTarget(r, back[0], dest, mode), Wrap(src + r.sourceSize, mode));
        EXPECT_EQ(r.codeSize, r.jumpBackOffset + 5);
    } else {
        ASSERT_EQ(mode, x86::kMode64);
        ASSERT_EQ(r.code[r.jumpBackOffset], 0xFF);
        ASSERT_EQ(r.code[r.jumpBackOffset + 1], 0x25);
        EXPECT_EQ(ReadU32(r.code + r.jumpBackOffset + 2), 0u);
        EXPECT_EQ(ReadU64(r.code + r.jumpBackOffset + 6), src + r.sourceSize);
        EXPECT_EQ(r.codeSize, r.jumpBackOffset + 14);
    }
}

TEST(InterceptionRelocate, CallRel32IsRetargeted) {
    const std::vector<uint8_t> code = {0xE8, 0x00, 0x01, 0x00, 0x00, 0xC3};
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, kSrc64, kNear64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.sourceSize, 5u);
    const auto steps = Walk(r, x86::kMode64, 0, 1);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(r.code[0], 0xE8);
    EXPECT_EQ(BranchTarget(r, steps[0], kNear64, x86::kMode64), kSrc64 + 5 + 0x100);
    EXPECT_EQ(r.jumpBackOffset, 5u);
    ExpectJumpBack(r, kSrc64, kNear64, x86::kMode64);
}

TEST(InterceptionRelocate, ShortJccBecomesNearJcc) {
    // test ecx,ecx; jz +10h; mov rax,rcx; ret
    const std::vector<uint8_t> code = {0x85, 0xC9, 0x74, 0x10, 0x48, 0x8B, 0xC1, 0xC3};
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, kSrc64, kNear64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.sourceSize, 7u);
    const auto steps = Walk(r, x86::kMode64, 0, 3);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(0, std::memcmp(r.code, code.data(), 2));
    EXPECT_EQ(r.code[2], 0x0F);
    EXPECT_EQ(r.code[3], 0x84);  // still jz, now rel32
    EXPECT_EQ(steps[1].in.length, 6);
    EXPECT_EQ(BranchTarget(r, steps[1], kNear64, x86::kMode64), kSrc64 + 4 + 0x10);
    EXPECT_EQ(0, std::memcmp(r.code + 8, code.data() + 4, 3));
    EXPECT_EQ(r.jumpBackOffset, 11u);
    ExpectJumpBack(r, kSrc64, kNear64, x86::kMode64);

    ASSERT_EQ(r.instructionCount, 3u);
    EXPECT_EQ(r.instructions[0].source, 0);
    EXPECT_EQ(r.instructions[0].dest, 0);
    EXPECT_EQ(r.instructions[1].source, 2);
    EXPECT_EQ(r.instructions[1].dest, 2);
    EXPECT_EQ(r.instructions[2].source, 4);
    EXPECT_EQ(r.instructions[2].dest, 8);
}

TEST(InterceptionRelocate, EveryConditionKeepsItsCode) {
    for (uint8_t cc = 0; cc < 16; ++cc) {
        const std::vector<uint8_t> code = {static_cast<uint8_t>(0x70 | cc), 0x20, 0x90, 0x90, 0x90};
        x86::Relocation r;
        ASSERT_EQ(RelocateBytes(code, kSrc64, kNear64, x86::kMode64, &r), x86::RelocateStatus::kOk);
        EXPECT_EQ(r.code[0], 0x0F);
        EXPECT_EQ(r.code[1], 0x80 | cc);
        const auto steps = Walk(r, x86::kMode64, 0, 1);
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_EQ(BranchTarget(r, steps[0], kNear64, x86::kMode64), kSrc64 + 2 + 0x20);
    }
}

TEST(InterceptionRelocate, RipRelativeOperandsAreRecomputed) {
    struct Case {
        const char* name;
        std::vector<uint8_t> code;
    };
    const Case cases[] = {
        {"lea rax,[rip+1234h]", {0x48, 0x8D, 0x05, 0x34, 0x12, 0x00, 0x00, 0xC3}},
        {"mov rax,[rip-100h]", {0x48, 0x8B, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xC3}},
        {"mov dword [rip+x],imm32", {0xC7, 0x05, 0x00, 0x10, 0x00, 0x00, 0xEF, 0xBE, 0xAD, 0xDE}},
        {"cmp byte [rip+x],0", {0x80, 0x3D, 0x40, 0x00, 0x00, 0x00, 0x00, 0xC3}},
        {"movaps xmm0,[rip+x]", {0x0F, 0x28, 0x05, 0x00, 0x00, 0x01, 0x00, 0xC3}},
        {"vbroadcastss xmm0,[rip+x]", {0xC4, 0xE2, 0x79, 0x18, 0x05, 0x10, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        x86::Instruction original;
        ASSERT_EQ(x86::Decode(c.code.data(), c.code.size(), x86::kMode64, &original), x86::DecodeStatus::kOk);
        ASSERT_TRUE(original.ripRelative);
        const uint64_t wanted =
            kSrc64 + original.length + static_cast<uint64_t>(ReadDisp(c.code.data() + original.dispOffset, 4));

        for (uint64_t dest : {kNear64, kSrc64 + 0x7F000000ull}) {
            x86::Relocation r;
            ASSERT_EQ(RelocateBytes(c.code, kSrc64, dest, x86::kMode64, &r), x86::RelocateStatus::kOk);
            EXPECT_EQ(r.sourceSize, original.length);
            const auto steps = Walk(r, x86::kMode64, 0, 1);
            ASSERT_EQ(steps.size(), 1u);
            EXPECT_EQ(steps[0].in.length, original.length);
            EXPECT_EQ(RipTarget(r, steps[0], dest), wanted);
            // Everything but the displacement is unchanged (immediates included).
            EXPECT_EQ(0, std::memcmp(r.code, c.code.data(), original.dispOffset));
            EXPECT_EQ(0, std::memcmp(r.code + original.dispOffset + 4, c.code.data() + original.dispOffset + 4,
                                     original.length - original.dispOffset - 4));
            ExpectJumpBack(r, kSrc64, dest, x86::kMode64);
        }
    }
}

TEST(InterceptionRelocate, RipRelativeOutOfRangeIsRefused) {
    const std::vector<uint8_t> lea = {0x48, 0x8D, 0x05, 0x34, 0x12, 0x00, 0x00, 0xC3};
    x86::Relocation r;
    EXPECT_EQ(RelocateBytes(lea, kSrc64, kFar64, x86::kMode64, &r), x86::RelocateStatus::kOutOfRange);
    // Just past the edge: the operand is 2 GiB + 1 away from the copy.
    const uint64_t target = kSrc64 + 7 + 0x1234;
    const uint64_t edge = target - 0x80000000ull - 7;  // new disp would be exactly +2^31
    EXPECT_EQ(RelocateBytes(lea, kSrc64, edge, x86::kMode64, &r), x86::RelocateStatus::kOutOfRange);
    EXPECT_EQ(RelocateBytes(lea, kSrc64, edge + 1, x86::kMode64, &r), x86::RelocateStatus::kOk);
}

TEST(InterceptionRelocate, WineThunkCopiesOnlyTheHotPatchNop) {
    // lea rsp,[rsp+0]; jmp [rip+1000h]
    const std::vector<uint8_t> code = {0x48, 0x8D, 0xA4, 0x24, 0x00, 0x00, 0x00,
                                       0x00, 0xFF, 0x25, 0x00, 0x10, 0x00, 0x00};
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, kSrc64, kNear64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.sourceSize, 8u);
    EXPECT_EQ(0, std::memcmp(r.code, code.data(), 8));
    EXPECT_EQ(r.jumpBackOffset, 8u);
    EXPECT_EQ(r.code[8], 0xE9);
    ExpectJumpBack(r, kSrc64, kNear64, x86::kMode64);
    // The trampoline re-enters the thunk at its jmp [rip+x].
    const auto back = Walk(r, x86::kMode64, 8, 1);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(BranchTarget(r, back[0], kNear64, x86::kMode64), kSrc64 + 8);
}

TEST(InterceptionRelocate, JmpThroughRipSlot) {
    const std::vector<uint8_t> code = {0xFF, 0x25, 0x00, 0x20, 0x00, 0x00, 0xCC, 0xCC};
    const uint64_t slot = kSrc64 + 6 + 0x2000;
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, kSrc64, kNear64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.sourceSize, 6u);
    const auto steps = Walk(r, x86::kMode64, 0, 1);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(r.code[0], 0xFF);
    EXPECT_EQ(r.code[1], 0x25);
    EXPECT_EQ(RipTarget(r, steps[0], kNear64), slot);

    // Out of rel32 reach: the slot is loaded through its absolute address.
    ASSERT_EQ(RelocateBytes(code, kSrc64, kFar64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    const uint8_t head[] = {0x50, 0x48, 0xB8};
    const uint8_t tail[] = {0x48, 0x8B, 0x00, 0x48, 0x87, 0x04, 0x24, 0xC3};
    ASSERT_GE(r.codeSize, 19u);
    EXPECT_EQ(0, std::memcmp(r.code, head, 3));
    EXPECT_EQ(ReadU64(r.code + 3), slot);
    EXPECT_EQ(0, std::memcmp(r.code + 11, tail, sizeof tail));
    EXPECT_EQ(r.jumpBackOffset, 19u);
    ExpectJumpBack(r, kSrc64, kFar64, x86::kMode64);
}

TEST(InterceptionRelocate, CallThroughRipSlotOutOfReach) {
    const std::vector<uint8_t> code = {0xFF, 0x15, 0x00, 0x20, 0x00, 0x00, 0xC3};
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, kSrc64, kFar64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    // call +2; jmp +19; push rax; mov rax,slot; ...
    EXPECT_EQ(r.code[0], 0xE8);
    EXPECT_EQ(ReadU32(r.code + 1), 2u);
    EXPECT_EQ(r.code[5], 0xEB);
    EXPECT_EQ(r.code[6], 19);
    EXPECT_EQ(r.code[7], 0x50);
    EXPECT_EQ(ReadU64(r.code + 10), kSrc64 + 6 + 0x2000);
    EXPECT_EQ(r.jumpBackOffset, 26u);
    ExpectJumpBack(r, kSrc64, kFar64, x86::kMode64);
    // A thread returning from the callee (at the jmp) resumes after the call.
    bool found = false;
    for (size_t i = 0; i < r.resumeCount; ++i) {
        if (r.resume[i].dest == 5) {
            found = true;
            EXPECT_EQ(r.resume[i].address, kSrc64 + 6);
        }
    }
    EXPECT_TRUE(found);
}

TEST(InterceptionRelocate, BranchesOutOfReachUseAbsoluteForms) {
    x86::Relocation r;
    // jmp rel32
    const std::vector<uint8_t> jmp = {0xE9, 0x00, 0x00, 0x01, 0x00};
    ASSERT_EQ(RelocateBytes(jmp, kSrc64, kFar64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.code[0], 0xFF);
    EXPECT_EQ(r.code[1], 0x25);
    EXPECT_EQ(ReadU32(r.code + 2), 0u);
    EXPECT_EQ(ReadU64(r.code + 6), kSrc64 + 5 + 0x10000);

    // jz +16; mov rax,rcx  ->  jnz +14; jmp [rip+0]; target; mov rax,rcx
    const std::vector<uint8_t> jcc = {0x74, 0x10, 0x48, 0x89, 0xC8};
    ASSERT_EQ(RelocateBytes(jcc, kSrc64, kFar64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.code[0], 0x75);
    EXPECT_EQ(r.code[1], 14);
    EXPECT_EQ(r.code[2], 0xFF);
    EXPECT_EQ(r.code[3], 0x25);
    EXPECT_EQ(ReadU64(r.code + 8), kSrc64 + 2 + 0x10);
    EXPECT_EQ(0, std::memcmp(r.code + 16, jcc.data() + 2, 3));
    EXPECT_EQ(r.jumpBackOffset, 19u);
    ExpectJumpBack(r, kSrc64, kFar64, x86::kMode64);

    // call rel32  ->  call [rip+2]; jmp +8; target
    const std::vector<uint8_t> call = {0xE8, 0x00, 0x00, 0x01, 0x00};
    ASSERT_EQ(RelocateBytes(call, kSrc64, kFar64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    const uint8_t callSlot[] = {0xFF, 0x15, 0x02, 0x00, 0x00, 0x00, 0xEB, 0x08};
    EXPECT_EQ(0, std::memcmp(r.code, callSlot, sizeof callSlot));
    EXPECT_EQ(ReadU64(r.code + 8), kSrc64 + 5 + 0x10000);
    EXPECT_EQ(r.jumpBackOffset, 16u);
    ExpectJumpBack(r, kSrc64, kFar64, x86::kMode64);
}

TEST(InterceptionRelocate, ZeroDisplacementBranchesAreDropped) {
    // jz $+2; mov rax,rcx
    const std::vector<uint8_t> code = {0x74, 0x00, 0x48, 0x89, 0xC8, 0xC3};
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, kSrc64, kNear64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.sourceSize, 5u);
    EXPECT_EQ(0, std::memcmp(r.code, code.data() + 2, 3));
    EXPECT_EQ(r.jumpBackOffset, 3u);
    ExpectJumpBack(r, kSrc64, kNear64, x86::kMode64);
}

TEST(InterceptionRelocate, CallToNextInstructionPushesOriginalAddress) {
    // call $+5; pop rax
    const std::vector<uint8_t> code = {0xE8, 0x00, 0x00, 0x00, 0x00, 0x58, 0xC3};
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, kSrc64, kNear64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    const uint8_t lea[] = {0x48, 0x8D, 0x64, 0x24, 0xF8, 0xC7, 0x04, 0x24};
    EXPECT_EQ(0, std::memcmp(r.code, lea, sizeof lea));
    EXPECT_EQ(ReadU32(r.code + 8), static_cast<uint32_t>(kSrc64 + 5));
    EXPECT_EQ(r.code[12], 0xC7);
    EXPECT_EQ(ReadU32(r.code + 16), static_cast<uint32_t>((kSrc64 + 5) >> 32));
    EXPECT_EQ(r.jumpBackOffset, 20u);
    ExpectJumpBack(r, kSrc64, kNear64, x86::kMode64);

    // 32-bit: call $+5; pop ebx  ->  push src+5
    const uint64_t src32 = 0x10001000;
    ASSERT_EQ(RelocateBytes({0xE8, 0, 0, 0, 0, 0x5B}, src32, 0x20000000, x86::kMode32, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.code[0], 0x68);
    EXPECT_EQ(ReadU32(r.code + 1), src32 + 5);
    ExpectJumpBack(r, src32, 0x20000000, x86::kMode32);
}

TEST(InterceptionRelocate, Refusals) {
    struct Case {
        const char* name;
        std::vector<uint8_t> code;
        x86::RelocateStatus status;
    };
    const Case cases[] = {
        {"loop", {0xE2, 0xFE, 0x90, 0x90, 0x90, 0x90}, x86::RelocateStatus::kUnsupported},
        {"jrcxz", {0x90, 0xE3, 0x02, 0x90, 0x90, 0x90}, x86::RelocateStatus::kUnsupported},
        {"xbegin", {0xC7, 0xF8, 0x00, 0x00, 0x00, 0x00}, x86::RelocateStatus::kUnsupported},
        {"EIP-relative (67)", {0x67, 0x8B, 0x05, 0, 0, 0, 0}, x86::RelocateStatus::kUnsupported},
        {"unknown opcode", {0x55, 0x06, 0x90, 0x90, 0x90}, x86::RelocateStatus::kUnknownInstruction},
        {"salc", {0xD6, 0x90, 0x90, 0x90, 0x90}, x86::RelocateStatus::kUnknownInstruction},
        {"xor eax,eax; ret", {0x31, 0xC0, 0xC3, 0xCC, 0xCC, 0xCC}, x86::RelocateStatus::kFunctionTooShort},
        {"ret imm16", {0xC2, 0x08, 0x00, 0xCC, 0xCC}, x86::RelocateStatus::kFunctionTooShort},
        {"jmp rel8 first", {0xEB, 0x05, 0x90, 0x90, 0x90}, x86::RelocateStatus::kFunctionTooShort},
        {"jmp rax", {0xFF, 0xE0, 0xCC, 0xCC, 0xCC}, x86::RelocateStatus::kFunctionTooShort},
        {"int3", {0xCC, 0x90, 0x90, 0x90, 0x90}, x86::RelocateStatus::kFunctionTooShort},
        {"jz into patch", {0x74, 0x01, 0x90, 0x90, 0x90, 0x90}, x86::RelocateStatus::kBranchIntoPatch},
        {"jz to start", {0x90, 0x74, 0xFD, 0x90, 0x90, 0x90}, x86::RelocateStatus::kBranchIntoPatch},
        {"call into patch", {0x90, 0xE8, 0xFA, 0xFF, 0xFF, 0xFF}, x86::RelocateStatus::kBranchIntoPatch},
        {"jz rel32 back into patch", {0x0F, 0x84, 0xFA, 0xFF, 0xFF, 0xFF}, x86::RelocateStatus::kBranchIntoPatch},
        {"truncated", {0x90, 0x90, 0x90}, x86::RelocateStatus::kTruncated},
        {"truncated instruction", {0x90, 0x48, 0xB8, 1, 2}, x86::RelocateStatus::kTruncated},
    };
    for (const Case& c : cases) {
        x86::Relocation r;
        EXPECT_EQ(RelocateBytes(c.code, kSrc64, kNear64, x86::kMode64, &r), c.status) << c.name;
    }

    x86::Relocation r;
    const std::vector<uint8_t> nops(64, 0x90);
    EXPECT_EQ(RelocateBytes(nops, kSrc64, kNear64, x86::kMode64, &r, 40), x86::RelocateStatus::kNoRoom);
    EXPECT_EQ(x86::Relocate(nullptr, 8, kSrc64, kNear64, x86::kMode64, 5, &r), x86::RelocateStatus::kBadArgument);
    EXPECT_EQ(x86::Relocate(nops.data(), nops.size(), kSrc64, kNear64, x86::kMode64, 5, nullptr),
              x86::RelocateStatus::kBadArgument);
    EXPECT_EQ(RelocateBytes(nops, kSrc64, kNear64, 16, &r), x86::RelocateStatus::kBadArgument);
    EXPECT_EQ(RelocateBytes(nops, kSrc64, 0x1000, x86::kMode32, &r), x86::RelocateStatus::kBadArgument);

    // mov eax,1; ret: the ret is not needed, five bytes are covered.
    EXPECT_EQ(RelocateBytes({0xB8, 1, 0, 0, 0, 0xC3}, kSrc64, kNear64, x86::kMode64, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.sourceSize, 5u);
}

// --- 32-bit code, relocated by the same functions -------------------------

TEST(InterceptionRelocate, Mode32MovEdiEdiPrologue) {
    const uint64_t src = 0x7C801000, dest = 0x00A20000;
    const std::vector<uint8_t> code = {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10};
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, src, dest, x86::kMode32, &r), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.sourceSize, 5u);
    EXPECT_EQ(0, std::memcmp(r.code, code.data(), 5));
    EXPECT_EQ(r.jumpBackOffset, 5u);
    ExpectJumpBack(r, src, dest, x86::kMode32);
    ASSERT_EQ(r.instructionCount, 3u);
    EXPECT_EQ(r.instructions[1].source, 2);
    EXPECT_EQ(r.instructions[2].source, 3);
    EXPECT_EQ(r.instructions[2].dest, 3);
}

TEST(InterceptionRelocate, Mode32BranchesWrapAround) {
    // The copy sits above 3 GiB, the targets low in memory: rel32 arithmetic
    // wraps modulo 2^32 and still reaches.
    const uint64_t src = 0x00401000, dest = 0xF0000000;
    const uint32_t callTarget = 0x7FF00000;
    std::vector<uint8_t> code = {0xE8, 0, 0, 0, 0, 0x74, 0x10, 0xFF, 0x25, 0x00, 0x20, 0x40, 0x00};
    const uint32_t rel = callTarget - static_cast<uint32_t>(src + 5);
    std::memcpy(code.data() + 1, &rel, 4);
    x86::Relocation r;
    ASSERT_EQ(RelocateBytes(code, src, dest, x86::kMode32, &r, 8), x86::RelocateStatus::kOk);
    EXPECT_EQ(r.sourceSize, 13u);
    const auto steps = Walk(r, x86::kMode32, 0, 3);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(r.code[0], 0xE8);
    EXPECT_EQ(BranchTarget(r, steps[0], dest, x86::kMode32), callTarget);
    EXPECT_EQ(r.code[5], 0x0F);
    EXPECT_EQ(r.code[6], 0x84);
    EXPECT_EQ(BranchTarget(r, steps[1], dest, x86::kMode32), src + 7 + 0x10);
    // jmp [abs32] has no RIP in 32-bit mode and is copied unchanged.
    EXPECT_FALSE(steps[2].in.ripRelative);
    EXPECT_EQ(0, std::memcmp(r.code + 11, code.data() + 7, 6));
    ExpectJumpBack(r, src, dest, x86::kMode32);

    // Copy near the top of the address space jumping back to the bottom.
    ASSERT_EQ(RelocateBytes({0x8B, 0xFF, 0x55, 0x8B, 0xEC}, 0x00001000, 0xFFFFF000, x86::kMode32, &r),
              x86::RelocateStatus::kOk);
    ExpectJumpBack(r, 0x00001000, 0xFFFFF000, x86::kMode32);
}

TEST(InterceptionRelocate, Mode32Refusals) {
    x86::Relocation r;
    EXPECT_EQ(RelocateBytes({0x66, 0xE9, 0x10, 0x00, 0x90, 0x90}, 0x1000, 0x2000, x86::kMode32, &r),
              x86::RelocateStatus::kUnsupported);  // jmp rel16
    EXPECT_EQ(RelocateBytes({0xE3, 0x10, 0x90, 0x90, 0x90}, 0x1000, 0x2000, x86::kMode32, &r),
              x86::RelocateStatus::kUnsupported);  // jecxz
    EXPECT_EQ(RelocateBytes({0x33, 0xC0, 0xC3, 0x90, 0x90}, 0x1000, 0x2000, x86::kMode32, &r),
              x86::RelocateStatus::kFunctionTooShort);
    EXPECT_EQ(RelocateBytes({0x9A, 1, 2, 3, 4, 5, 6}, 0x1000, 0x2000, x86::kMode32, &r),
              x86::RelocateStatus::kUnknownInstruction);
}

TEST(InterceptionRelocate, Rel32ReachAndJumpEncoding) {
    const uint64_t from = 0x0000000200000000ull;
    EXPECT_TRUE(x86::Rel32Reaches(from, from + 0x7FFFFFFFull, x86::kMode64));
    EXPECT_FALSE(x86::Rel32Reaches(from, from + 0x80000000ull, x86::kMode64));
    EXPECT_TRUE(x86::Rel32Reaches(from, from - 0x80000000ull, x86::kMode64));
    EXPECT_FALSE(x86::Rel32Reaches(from, from - 0x80000001ull, x86::kMode64));
    EXPECT_TRUE(x86::Rel32Reaches(0x10, 0xFFFFFFF0, x86::kMode32));

    uint8_t out[14];
    ASSERT_EQ(x86::EncodeJump(from, from + 0x1000, x86::kMode64, out, sizeof out), 5u);
    EXPECT_EQ(out[0], 0xE9);
    EXPECT_EQ(ReadU32(out + 1), 0x1000u - 5);
    ASSERT_EQ(x86::EncodeJump(from, from + 0x100000000ull, x86::kMode64, out, sizeof out), 14u);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0x25);
    EXPECT_EQ(ReadU64(out + 6), from + 0x100000000ull);
    EXPECT_EQ(x86::EncodeJump(from, from + 0x100000000ull, x86::kMode64, out, 13), 0u);
    EXPECT_EQ(x86::EncodeJump(from, from + 0x10, x86::kMode64, out, 4), 0u);
}

#if defined(_WIN64)
// --- Relocated code executed for real, > 4 GiB away from its source -------

__attribute__((noipa)) int ReturnsSeven() { return 7; }

class FarRelocation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(source_.ok());
        far_ = std::make_unique<CodeBuffer>(source_.address() + 0x100000000ull * 8);
        ASSERT_TRUE(far_->ok());
        ASSERT_FALSE(x86::Rel32Reaches(far_->address(), source_.address(), x86::kMode64));
    }

    // Relocates the code at source offset 0 into the far buffer; returns its address.
    uintptr_t RelocateFar(size_t minimum = 5) {
        x86::Relocation r;
        EXPECT_EQ(x86::Relocate(source_.data(), 64, source_.address(), far_->address(), x86::kMode64, minimum, &r),
                  x86::RelocateStatus::kOk);
        std::memcpy(far_->data(), r.code, r.codeSize);
        FlushInstructionCache(GetCurrentProcess(), far_->data(), r.codeSize);
        return far_->address();
    }

    CodeBuffer source_;
    std::unique_ptr<CodeBuffer> far_;
};

TEST_F(FarRelocation, JmpThroughSlot) {
    source_.Put(0, {0xFF, 0x25, 0, 0, 0, 0});  // jmp [rip+x] -> slot at 0x100
    source_.PutRel32(2, 6, source_.address(0x100));
    source_.PutU64(0x100, reinterpret_cast<uintptr_t>(&ReturnsSeven));
    auto fn = reinterpret_cast<int (*)()>(RelocateFar());
    EXPECT_EQ(fn(), 7);
}

TEST_F(FarRelocation, CallThroughSlot) {
    source_.Put(0, {0xFF, 0x15, 0, 0, 0, 0, 0x83, 0xC0, 0x01, 0xC3});  // call [slot]; add eax,1; ret
    source_.PutRel32(2, 6, source_.address(0x100));
    source_.PutU64(0x100, reinterpret_cast<uintptr_t>(&ReturnsSeven));
    auto fn = reinterpret_cast<int (*)()>(RelocateFar());
    EXPECT_EQ(fn(), 8);
}

TEST_F(FarRelocation, CallRel32) {
    // call helper; add eax,1; ret ... helper: mov eax,41; ret
    source_.Put(0, {0xE8, 0, 0, 0, 0, 0x83, 0xC0, 0x01, 0xC3});
    source_.PutRel32(1, 5, source_.address(0x40));
    source_.Put(0x40, {0xB8, 41, 0, 0, 0, 0xC3});
    auto fn = reinterpret_cast<int (*)()>(RelocateFar());
    EXPECT_EQ(fn(), 42);
}

TEST_F(FarRelocation, ShortJcc) {
    // test ecx,ecx; jz +6; mov eax,1; ret; mov eax,2; ret
    source_.Put(0, {0x85, 0xC9, 0x74, 0x06, 0xB8, 1, 0, 0, 0, 0xC3, 0xB8, 2, 0, 0, 0, 0xC3});
    auto fn = reinterpret_cast<int (*)(int)>(RelocateFar());
    EXPECT_EQ(fn(0), 2);
    EXPECT_EQ(fn(5), 1);
}

TEST_F(FarRelocation, CallToNextInstruction) {
    source_.Put(0, {0xE8, 0, 0, 0, 0, 0x58, 0xC3});  // call $+5; pop rax; ret
    auto fn = reinterpret_cast<uintptr_t (*)()>(RelocateFar());
    EXPECT_EQ(fn(), source_.address(5));
}
#endif

}  // namespace
