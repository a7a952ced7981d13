// Instruction-length decoding of realistic prologue instructions, in both modes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "interception/x86_code.h"

namespace x86 = interception::x86;

namespace {

struct LengthCase {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t length;  // 0: must be reported unknown
};

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char buf[4];
    for (uint8_t b : bytes) {
        snprintf(buf, sizeof buf, "%02X ", b);
        s += buf;
    }
    return s;
}

// Every case is decoded with trailing bytes after it (which must not change
// the length) and also cut one byte short (which must report truncation).
void CheckLengths(const std::vector<LengthCase>& cases, int mode) {
    for (const LengthCase& c : cases) {
        std::vector<uint8_t> padded = c.bytes;
        padded.insert(padded.end(), {0x90, 0x90, 0x90, 0x90, 0xCC, 0xCC, 0xCC, 0xCC});
        x86::Instruction in;
        const x86::DecodeStatus status = x86::Decode(padded.data(), padded.size(), mode, &in);
        SCOPED_TRACE(std::string(c.name) + " [" + Hex(c.bytes) + "] mode " + std::to_string(mode));
        if (c.length == 0) {
            EXPECT_EQ(status, x86::DecodeStatus::kUnknown);
            EXPECT_EQ(x86::InstructionLength(padded.data(), padded.size(), mode), 0u);
            continue;
        }
        ASSERT_EQ(c.length, c.bytes.size()) << "table entry is inconsistent";
        EXPECT_EQ(status, x86::DecodeStatus::kOk);
        EXPECT_EQ(in.length, c.length);
        EXPECT_EQ(x86::InstructionLength(padded.data(), padded.size(), mode), c.length);
        // Exactly the bytes: still decodes. One byte fewer: truncated.
        EXPECT_EQ(x86::InstructionLength(c.bytes.data(), c.bytes.size(), mode), c.length);
        EXPECT_EQ(x86::Decode(c.bytes.data(), c.bytes.size() - 1, mode, &in), x86::DecodeStatus::kTruncated);
    }
}

TEST(InterceptionDecoder, Lengths64) {
    const std::vector<LengthCase> cases = {
        {"push rbp", {0x55}, 1},
        {"push rbx with REX", {0x40, 0x53}, 2},
        {"push r15", {0x41, 0x57}, 2},
        {"mov rbp,rsp (89)", {0x48, 0x89, 0xE5}, 3},
        {"mov rbp,rsp (8B)", {0x48, 0x8B, 0xEC}, 3},
        {"mov r10,rcx", {0x4C, 0x8B, 0xD1}, 3},
        {"sub rsp,imm8", {0x48, 0x83, 0xEC, 0x28}, 4},
        {"sub rsp,imm32", {0x48, 0x81, 0xEC, 0x00, 0x01, 0x00, 0x00}, 7},
        {"mov [rsp+8],rcx", {0x48, 0x89, 0x4C, 0x24, 0x08}, 5},
        {"mov [rsp+10h],rbx", {0x48, 0x89, 0x5C, 0x24, 0x10}, 5},
        {"mov rax,[rsp+88h]", {0x48, 0x8B, 0x84, 0x24, 0x88, 0x00, 0x00, 0x00}, 8},
        {"lea rsp,[rsp+0] hot-patch", {0x48, 0x8D, 0xA4, 0x24, 0x00, 0x00, 0x00, 0x00}, 8},
        {"jmp [rip+x]", {0xFF, 0x25, 0x10, 0x20, 0x30, 0x00}, 6},
        {"rex.W jmp [rip+x]", {0x48, 0xFF, 0x25, 0x10, 0x20, 0x30, 0x00}, 7},
        {"call [rip+x]", {0xFF, 0x15, 0x10, 0x20, 0x30, 0x00}, 6},
        {"call rax", {0xFF, 0xD0}, 2},
        {"cmp rcx,imm8", {0x48, 0x83, 0xF9, 0x01}, 4},
        {"cmp ecx,imm32", {0x81, 0xF9, 0x00, 0x10, 0x00, 0x00}, 6},
        {"cmp cx,imm16", {0x66, 0x81, 0xF9, 0x34, 0x12}, 5},
        {"cmp cx,imm8", {0x66, 0x83, 0xF9, 0x01}, 4},
        {"cmp byte [rip+x],0", {0x80, 0x3D, 0x01, 0x02, 0x03, 0x04, 0x00}, 7},
        {"mov rax,imm64", {0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, 10},
        {"mov r11,imm64", {0x49, 0xBB, 1, 2, 3, 4, 5, 6, 7, 8}, 10},
        {"mov eax,imm32", {0xB8, 1, 2, 3, 4}, 5},
        {"mov r8d,imm32", {0x41, 0xB8, 1, 2, 3, 4}, 6},
        {"mov ax,imm16", {0x66, 0xB8, 0x34, 0x12}, 4},
        {"66 then REX.W: imm32", {0x66, 0x48, 0xC7, 0xC0, 1, 2, 3, 4}, 8},
        {"mov qword [rsp+20h],imm32", {0x48, 0xC7, 0x44, 0x24, 0x20, 0, 0, 0, 0}, 9},
        {"mov word [rsp+20h],imm16", {0x66, 0xC7, 0x44, 0x24, 0x20, 0x34, 0x12}, 7},
        {"mov byte [rsp+20h],imm8", {0xC6, 0x44, 0x24, 0x20, 0x01}, 5},
        {"mov dword [rip+x],imm32", {0xC7, 0x05, 1, 2, 3, 4, 5, 6, 7, 8}, 10},
        {"mov rax,gs:[30h]", {0x65, 0x48, 0x8B, 0x04, 0x25, 0x30, 0, 0, 0}, 9},
        {"mov rax,[rip+x]", {0x48, 0x8B, 0x05, 1, 2, 3, 4}, 7},
        {"lea rcx,[rip+x]", {0x48, 0x8D, 0x0D, 1, 2, 3, 4}, 7},
        {"mov rax,[abs64] (moffs)", {0x48, 0xA1, 1, 2, 3, 4, 5, 6, 7, 8}, 10},
        {"movaps [rsp+80h],xmm0 (disp32)", {0x0F, 0x29, 0x84, 0x24, 0x80, 0, 0, 0}, 8},
        {"movaps [rsp+20h],xmm8", {0x44, 0x0F, 0x29, 0x44, 0x24, 0x20}, 6},
        {"movaps xmm0,[rip+x]", {0x0F, 0x28, 0x05, 1, 2, 3, 4}, 7},
        {"movdqa xmm0,[rip+x]", {0x66, 0x0F, 0x6F, 0x05, 1, 2, 3, 4}, 8},
        {"pshufd xmm0,xmm1,imm8", {0x66, 0x0F, 0x70, 0xC1, 0x1B}, 5},
        {"pshufb xmm0,xmm1", {0x66, 0x0F, 0x38, 0x00, 0xC1}, 5},
        {"palignr xmm0,xmm1,8", {0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}, 6},
        {"vzeroupper", {0xC5, 0xF8, 0x77}, 3},
        {"vmovaps ymm0,ymm1", {0xC5, 0xFC, 0x28, 0xC1}, 4},
        {"vmovdqu xmm0,[rsp+20h]", {0xC5, 0xFA, 0x6F, 0x44, 0x24, 0x20}, 6},
        {"vinsertf128 ymm0,ymm0,xmm1,1", {0xC4, 0xE3, 0x7D, 0x18, 0xC1, 0x01}, 6},
        {"vbroadcastss xmm0,[rip+x]", {0xC4, 0xE2, 0x79, 0x18, 0x05, 1, 2, 3, 4}, 9},
        {"vpshufd xmm0,xmm1,imm8", {0xC5, 0xF9, 0x70, 0xC1, 0x1B}, 5},
        {"int3", {0xCC}, 1},
        {"ret", {0xC3}, 1},
        {"ret imm16", {0xC2, 0x08, 0x00}, 3},
        {"nop", {0x90}, 1},
        {"xchg ax,ax", {0x66, 0x90}, 2},
        {"nop [rax]", {0x0F, 0x1F, 0x00}, 3},
        {"nop [rax+0]", {0x0F, 0x1F, 0x40, 0x00}, 4},
        {"nop [rax+rax+0]", {0x0F, 0x1F, 0x44, 0x00, 0x00}, 5},
        {"nop word [rax+rax+0]", {0x66, 0x0F, 0x1F, 0x44, 0x00, 0x00}, 6},
        {"nop [rax+disp32]", {0x0F, 0x1F, 0x80, 0, 0, 0, 0}, 7},
        {"nop [rax+rax+disp32]", {0x0F, 0x1F, 0x84, 0x00, 0, 0, 0, 0}, 8},
        {"nop word [rax+rax+disp32]", {0x66, 0x0F, 0x1F, 0x84, 0x00, 0, 0, 0, 0}, 9},
        {"cs nop word [rax+rax+disp32]", {0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0, 0, 0, 0}, 10},
        {"endbr64", {0xF3, 0x0F, 0x1E, 0xFA}, 4},
        {"test cl,imm8 (F6 /0)", {0xF6, 0xC1, 0x01}, 3},
        {"test ecx,imm32 (F7 /0)", {0xF7, 0xC1, 1, 2, 3, 4}, 6},
        {"test cx,imm16 (66 F7 /0)", {0x66, 0xF7, 0xC1, 0x34, 0x12}, 5},
        {"test rax,imm32 (REX.W F7 /0)", {0x48, 0xF7, 0xC0, 1, 2, 3, 4}, 7},
        {"test byte [rcx+8],imm8", {0xF6, 0x41, 0x08, 0x01}, 4},
        {"neg al (F6 /3)", {0xF6, 0xD8}, 2},
        {"neg eax (F7 /3)", {0xF7, 0xD8}, 2},
        {"xor eax,eax", {0x31, 0xC0}, 2},
        {"test rcx,rcx", {0x48, 0x85, 0xC9}, 3},
        {"movsxd rax,ecx", {0x48, 0x63, 0xC1}, 3},
        {"movzx eax,cl", {0x0F, 0xB6, 0xC1}, 3},
        {"lock cmpxchg [rcx],edx", {0xF0, 0x0F, 0xB1, 0x11}, 4},
        {"rep stosq", {0xF3, 0x48, 0xAB}, 3},
        {"syscall", {0x0F, 0x05}, 2},
        {"cpuid", {0x0F, 0xA2}, 2},
        {"mfence", {0x0F, 0xAE, 0xF0}, 3},
        {"xgetbv", {0x0F, 0x01, 0xD0}, 3},
        {"bt eax,3", {0x0F, 0xBA, 0xE0, 0x03}, 4},
        {"imul rax,rax,imm32", {0x48, 0x69, 0xC0, 1, 2, 3, 4}, 7},
        {"imul eax,eax,imm8", {0x6B, 0xC0, 0x0A}, 3},
        {"enter 20h,0", {0xC8, 0x20, 0x00, 0x00}, 4},
        {"shl eax,3", {0xC1, 0xE0, 0x03}, 3},
        {"pop qword [rax]", {0x8F, 0x00}, 2},
        {"call rel32", {0xE8, 1, 2, 3, 4}, 5},
        {"jmp rel32", {0xE9, 1, 2, 3, 4}, 5},
        {"jmp rel8", {0xEB, 0x10}, 2},
        {"jz rel8", {0x74, 0x05}, 2},
        {"jz rel32", {0x0F, 0x84, 1, 2, 3, 4}, 6},
        {"jrcxz", {0xE3, 0x10}, 2},
        {"loop", {0xE2, 0xFE}, 2},
        {"int 29h", {0xCD, 0x29}, 2},
        {"ud2", {0x0F, 0x0B}, 2},
        // Reported unknown.
        {"push es (invalid)", {0x06}, 0},
        {"daa (invalid)", {0x27}, 0},
        {"pusha (invalid)", {0x60}, 0},
        {"EVEX", {0x62, 0xF1, 0x7C, 0x48, 0x28, 0xC1}, 0},
        {"call far (invalid)", {0x9A, 1, 2, 3, 4, 5, 6}, 0},
        {"salc", {0xD6}, 0},
        {"jmp far (invalid)", {0xEA, 1, 2, 3, 4, 5, 6}, 0},
        {"3DNow!", {0x0F, 0x0F, 0xC1, 0x9E}, 0},
        {"0F 04 undefined", {0x0F, 0x04}, 0},
        {"mov rax,cr0 (privileged)", {0x0F, 0x20, 0xC0}, 0},
        {"XOP", {0x8F, 0xE8, 0x78, 0xC2, 0xC1, 0x00}, 0},
        {"66 call (vendor-dependent)", {0x66, 0xE8, 1, 2}, 0},
        {"VEX with map 0", {0xC4, 0xE0, 0x7D, 0x18, 0xC1}, 0},
        {"VEX after 66", {0x66, 0xC5, 0xF8, 0x77}, 0},
        {"FF /7", {0xFF, 0xF8}, 0},
    };
    CheckLengths(cases, x86::kMode64);
}

TEST(InterceptionDecoder, Lengths32) {
    const std::vector<LengthCase> cases = {
        {"mov edi,edi", {0x8B, 0xFF}, 2},
        {"push ebp", {0x55}, 1},
        {"mov ebp,esp (8B)", {0x8B, 0xEC}, 2},
        {"mov ebp,esp (89)", {0x89, 0xE5}, 2},
        {"sub esp,imm8", {0x83, 0xEC, 0x10}, 3},
        {"sub esp,imm32", {0x81, 0xEC, 0x00, 0x01, 0x00, 0x00}, 6},
        {"and esp,-16", {0x83, 0xE4, 0xF0}, 3},
        {"push -1", {0x6A, 0xFF}, 2},
        {"push imm32", {0x68, 1, 2, 3, 4}, 5},
        {"mov eax,fs:[0]", {0x64, 0xA1, 0, 0, 0, 0}, 6},
        {"mov eax,[ebp+8]", {0x8B, 0x45, 0x08}, 3},
        {"mov eax,[esp+4]", {0x8B, 0x44, 0x24, 0x04}, 4},
        {"lea ecx,[esp+4]", {0x8D, 0x4C, 0x24, 0x04}, 4},
        {"push [ecx-4]", {0xFF, 0x71, 0xFC}, 3},
        {"inc eax (40 is not REX)", {0x40}, 1},
        {"dec eax (48 is not REX)", {0x48}, 1},
        {"mov eax,imm32", {0xB8, 1, 2, 3, 4}, 5},
        {"mov ax,imm16", {0x66, 0xB8, 0x34, 0x12}, 4},
        {"jmp [abs32]", {0xFF, 0x25, 1, 2, 3, 4}, 6},
        {"call [abs32]", {0xFF, 0x15, 1, 2, 3, 4}, 6},
        {"mov eax,[abs32] (moffs)", {0xA1, 1, 2, 3, 4}, 5},
        {"mov eax,[abs16] (67 moffs)", {0x67, 0xA1, 0x34, 0x12}, 4},
        {"mov eax,[bp+8] (16-bit addressing)", {0x67, 0x8B, 0x46, 0x08}, 4},
        {"mov eax,[disp16] (16-bit addressing)", {0x67, 0x8B, 0x06, 0x34, 0x12}, 5},
        {"mov eax,[bx+si+disp16]", {0x67, 0x8B, 0x80, 0x34, 0x12}, 5},
        {"cmp dword [ebp-4],imm8", {0x83, 0x7D, 0xFC, 0x00}, 4},
        {"test ecx,imm32", {0xF7, 0xC1, 1, 2, 3, 4}, 6},
        {"test cx,imm16", {0x66, 0xF7, 0xC1, 0x34, 0x12}, 5},
        {"vzeroupper", {0xC5, 0xF8, 0x77}, 3},
        {"vmovaps ymm0,[eax]", {0xC5, 0xFC, 0x28, 0x00}, 4},
        {"lds eax,[esi]", {0xC5, 0x06}, 2},
        {"les eax,[esi]", {0xC4, 0x06}, 2},
        {"bound eax,[esi]", {0x62, 0x06}, 2},
        {"pushad", {0x60}, 1},
        {"popad", {0x61}, 1},
        {"push es", {0x06}, 1},
        {"call rel32", {0xE8, 1, 2, 3, 4}, 5},
        {"call rel16", {0x66, 0xE8, 1, 2}, 4},
        {"jz rel32", {0x0F, 0x84, 1, 2, 3, 4}, 6},
        {"jz rel16", {0x66, 0x0F, 0x84, 1, 2}, 5},
        {"jecxz", {0xE3, 0x10}, 2},
        {"int 2Eh", {0xCD, 0x2E}, 2},
        {"ret 8", {0xC2, 0x08, 0x00}, 3},
        {"movaps [esp+10h],xmm0", {0x0F, 0x29, 0x44, 0x24, 0x10}, 5},
        {"fld qword [esp+4]", {0xDD, 0x44, 0x24, 0x04}, 4},
        {"sib with no base, disp32", {0x8B, 0x04, 0x85, 1, 2, 3, 4}, 7},
        // Reported unknown.
        {"call far", {0x9A, 1, 2, 3, 4, 5, 6}, 0},
        {"EVEX (62 with mod 11)", {0x62, 0xF1, 0x7C, 0x48, 0x28, 0xC1}, 0},
        {"salc", {0xD6}, 0},
    };
    CheckLengths(cases, x86::kMode32);
}

TEST(InterceptionDecoder, SameBytesDifferByMode) {
    // 48 B8 imm64 is mov rax,imm64 in 64-bit mode; in 32-bit mode 48 is dec eax.
    const uint8_t movabs[] = {0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(x86::InstructionLength(movabs, sizeof movabs, x86::kMode64), 10u);
    EXPECT_EQ(x86::InstructionLength(movabs, sizeof movabs, x86::kMode32), 1u);
    EXPECT_EQ(x86::InstructionLength(movabs + 1, sizeof movabs - 1, x86::kMode32), 5u);
    // 06 is push es in 32-bit mode only.
    const uint8_t pushEs[] = {0x06, 0x90};
    EXPECT_EQ(x86::InstructionLength(pushEs, sizeof pushEs, x86::kMode32), 1u);
    EXPECT_EQ(x86::InstructionLength(pushEs, sizeof pushEs, x86::kMode64), 0u);
    // C5 06: lds in 32-bit mode, a VEX prefix in 64-bit mode.
    const uint8_t c5[] = {0xC5, 0x06, 0x58, 0xC1, 0x90};
    EXPECT_EQ(x86::InstructionLength(c5, sizeof c5, x86::kMode32), 2u);
    EXPECT_EQ(x86::InstructionLength(c5, sizeof c5, x86::kMode64), 4u);
}

TEST(InterceptionDecoder, OperandDetails) {
    x86::Instruction in;

    const uint8_t lea[] = {0x48, 0x8D, 0x05, 0x78, 0x56, 0x34, 0x12};
    ASSERT_EQ(x86::Decode(lea, sizeof lea, x86::kMode64, &in), x86::DecodeStatus::kOk);
    EXPECT_TRUE(in.ripRelative);
    EXPECT_EQ(in.rex, 0x48);
    EXPECT_EQ(in.dispOffset, 3);
    EXPECT_EQ(in.dispSize, 4);
    // The same ModRM in 32-bit mode is an absolute address.
    ASSERT_EQ(x86::Decode(lea + 1, sizeof lea - 1, x86::kMode32, &in), x86::DecodeStatus::kOk);
    EXPECT_FALSE(in.ripRelative);
    EXPECT_EQ(in.length, 6);

    const uint8_t movImm[] = {0xC7, 0x05, 1, 2, 3, 4, 0xAA, 0xBB, 0xCC, 0xDD};
    ASSERT_EQ(x86::Decode(movImm, sizeof movImm, x86::kMode64, &in), x86::DecodeStatus::kOk);
    EXPECT_TRUE(in.ripRelative);
    EXPECT_EQ(in.dispOffset, 2);
    EXPECT_EQ(in.immOffset, 6);
    EXPECT_EQ(in.immSize, 4);

    const uint8_t jz[] = {0x74, 0xF0};
    ASSERT_EQ(x86::Decode(jz, sizeof jz, x86::kMode64, &in), x86::DecodeStatus::kOk);
    EXPECT_EQ(in.flow, x86::Flow::kCondJump);
    EXPECT_EQ(in.branchDisplacement, -16);

    const uint8_t jnz32[] = {0x0F, 0x85, 0x00, 0x01, 0x00, 0x00};
    ASSERT_EQ(x86::Decode(jnz32, sizeof jnz32, x86::kMode32, &in), x86::DecodeStatus::kOk);
    EXPECT_EQ(in.flow, x86::Flow::kCondJump);
    EXPECT_EQ(in.opcode, 0x85);
    EXPECT_EQ(in.map, 1);
    EXPECT_EQ(in.branchDisplacement, 0x100);

    const uint8_t call[] = {0xE8, 0xFB, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(x86::Decode(call, sizeof call, x86::kMode64, &in), x86::DecodeStatus::kOk);
    EXPECT_EQ(in.flow, x86::Flow::kCall);
    EXPECT_EQ(in.branchDisplacement, -5);

    struct FlowCase {
        std::vector<uint8_t> bytes;
        x86::Flow flow;
    };
    const FlowCase flows[] = {
        {{0xC3}, x86::Flow::kReturn},
        {{0xC2, 4, 0}, x86::Flow::kReturn},
        {{0xCC}, x86::Flow::kTrap},
        {{0x0F, 0x0B}, x86::Flow::kTrap},
        {{0xEB, 0x00}, x86::Flow::kJump},
        {{0xE2, 0xFE}, x86::Flow::kLoop},
        {{0xE3, 0x02}, x86::Flow::kLoop},
        {{0xFF, 0x25, 0, 0, 0, 0}, x86::Flow::kIndirectJump},
        {{0xFF, 0xD0}, x86::Flow::kIndirectCall},
        {{0xC7, 0xF8, 0, 0, 0, 0}, x86::Flow::kOtherRelative},
        {{0x48, 0x89, 0xE5}, x86::Flow::kNext},
    };
    for (const FlowCase& f : flows) {
        ASSERT_EQ(x86::Decode(f.bytes.data(), f.bytes.size(), x86::kMode64, &in), x86::DecodeStatus::kOk)
            << Hex(f.bytes);
        EXPECT_EQ(in.flow, f.flow) << Hex(f.bytes);
    }
}

TEST(InterceptionDecoder, BadArguments) {
    const uint8_t nop[] = {0x90};
    x86::Instruction in;
    EXPECT_EQ(x86::Decode(nullptr, 4, x86::kMode64, &in), x86::DecodeStatus::kUnknown);
    EXPECT_EQ(x86::Decode(nop, sizeof nop, 16, &in), x86::DecodeStatus::kUnknown);
    EXPECT_EQ(x86::Decode(nop, sizeof nop, x86::kMode64, nullptr), x86::DecodeStatus::kUnknown);
    EXPECT_EQ(x86::Decode(nop, 0, x86::kMode64, &in), x86::DecodeStatus::kTruncated);
    // Fifteen prefixes and an opcode exceed the architectural limit.
    std::vector<uint8_t> tooLong(15, 0x66);
    tooLong.push_back(0x90);
    EXPECT_EQ(x86::Decode(tooLong.data(), tooLong.size(), x86::kMode64, &in), x86::DecodeStatus::kUnknown);
    std::vector<uint8_t> fourteen(14, 0x66);
    fourteen.push_back(0x90);
    EXPECT_EQ(x86::InstructionLength(fourteen.data(), fourteen.size(), x86::kMode64), 15u);
}

}  // namespace
