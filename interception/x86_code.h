// Instruction-length decoding and relocation of x86 / x86-64 machine code.
//
// Everything here is a pure function of its arguments: byte buffers, the
// addresses those bytes live at (or will live at) and the processor mode
// (kMode64 or kMode32). Nothing reads or writes process memory, so the 32-bit
// logic is exercised from the 64-bit test executable and vice versa.
#pragma once

#include <cstddef>
#include <cstdint>

namespace interception::x86 {

inline constexpr int kMode32 = 32;
inline constexpr int kMode64 = 64;

// Architectural upper bound on the length of one instruction.
inline constexpr size_t kMaxInstructionLength = 15;

// How control leaves an instruction.
enum class Flow : uint8_t {
    kNext,           // falls through to the following instruction
    kReturn,         // ret, ret imm16, retf, iret
    kJump,           // jmp rel8 / rel32
    kCondJump,       // jcc rel8 / rel32
    kCall,           // call rel32 (rel16 with 66 in 32-bit mode)
    kLoop,           // loop, loope, loopne, jcxz/jecxz/jrcxz: rel8 only
    kOtherRelative,  // xbegin: relative target with no general re-encoding
    kIndirectJump,   // jmp r/m (FF /4), jmp far m (FF /5)
    kIndirectCall,   // call r/m (FF /2), call far m (FF /3)
    kTrap,           // int3, int1, hlt, ud2: execution does not continue
};

struct Instruction {
    uint8_t length = 0;
    uint8_t opcodeOffset = 0;  // offset of the opcode byte itself
    uint8_t map = 0;           // 0: one-byte, 1: 0F, 2: 0F 38, 3: 0F 3A
    uint8_t opcode = 0;
    bool hasModRM = false;
    uint8_t modrmOffset = 0;
    uint8_t modrm = 0;
    uint8_t dispOffset = 0;  // ModRM displacement (or branch displacement)
    uint8_t dispSize = 0;
    uint8_t immOffset = 0;  // immediate operand(s), including moffs
    uint8_t immSize = 0;
    uint8_t rex = 0;  // effective REX byte (64-bit mode), 0 if none
    bool vex = false;
    bool operandSize16 = false;    // 66 prefix present
    bool addressOverride = false;  // 67 prefix present
    bool lock = false;
    bool repz = false;         // F3
    bool repnz = false;        // F2
    uint8_t segment = 0;       // last segment-override prefix, 0 if none
    bool ripRelative = false;  // ModRM operand addressed relative to RIP
    Flow flow = Flow::kNext;
    // For kJump / kCondJump / kCall / kLoop / kOtherRelative: the signed
    // displacement, relative to the end of the instruction. dispOffset and
    // dispSize locate it in the bytes.
    int32_t branchDisplacement = 0;
};

enum class DecodeStatus : uint8_t {
    kOk,
    kUnknown,    // not an instruction this decoder recognises (or invalid)
    kTruncated,  // the buffer ended inside the instruction
};

// Decodes the instruction at code[0..size). mode is kMode64 or kMode32.
DecodeStatus Decode(const uint8_t* code, size_t size, int mode, Instruction* out);

// Length of the instruction at code, or 0 if it cannot be decoded.
size_t InstructionLength(const uint8_t* code, size_t size, int mode);

// ---------------------------------------------------------------------------
// Relocation: copy whole instructions from the start of a function into a
// trampoline placed elsewhere, so that running the trampoline has the same
// effect as running those instructions in place, followed by a jump back to
// the first instruction that was not copied.

enum class RelocateStatus : uint8_t {
    kOk,
    kBadArgument,         // null pointers, bad mode, 32-bit address above 4 GiB
    kTruncated,           // source bytes ended before enough were covered
    kUnknownInstruction,  // an opcode the decoder does not know
    kFunctionTooShort,    // ret / jmp / int3 ... before `minimum` bytes were covered
    kBranchIntoPatch,     // a copied branch targets the bytes that get overwritten
    kUnsupported,         // loop/jcxz, xbegin, 16-bit branches, EIP-relative operands
    kOutOfRange,          // a RIP-relative operand cannot reach its target from the copy
    kNoRoom,              // the output buffer is too small
};

inline constexpr size_t kMaxRelocatedCode = 112;
inline constexpr size_t kMaxRelocatedInstructions = 8;
inline constexpr size_t kMaxResumePoints = 16;

struct Relocation {
    uint8_t code[kMaxRelocatedCode] = {};
    size_t codeSize = 0;        // bytes of code[] in use, including the jump back
    size_t sourceSize = 0;      // bytes of the original covered (whole instructions)
    size_t jumpBackOffset = 0;  // where the jump back to source+sourceSize starts

    // One entry per copied instruction: its offset in the original and the
    // offset of its translation in code[].
    struct InstructionMap {
        uint8_t source;
        uint8_t dest;
    };
    size_t instructionCount = 0;
    InstructionMap instructions[kMaxRelocatedInstructions] = {};

    // Offsets in code[] where a suspended thread may be resumed in the original
    // code instead, with the original address to resume at. Covers every
    // translated instruction start, the jump back, and points inside expanded
    // sequences that are equivalent to an original address.
    struct ResumePoint {
        uint8_t dest;
        uint64_t address;
    };
    size_t resumeCount = 0;
    ResumePoint resume[kMaxResumePoints] = {};
};

// Translates instructions starting at `code` (which executes at
// sourceAddress; `size` bytes are readable) for execution at destAddress,
// covering at least `minimum` bytes of the original, and appends a jump back
// to sourceAddress + relocation.sourceSize.
//
// Branches whose rel32 form cannot reach their target from destAddress are
// rewritten to absolute forms (64-bit mode); RIP-relative data operands that
// cannot reach are refused with kOutOfRange.
RelocateStatus Relocate(const uint8_t* code, size_t size, uint64_t sourceAddress, uint64_t destAddress, int mode,
                        size_t minimum, Relocation* out);

// True if a rel32 displacement measured from `from` (the end of the jumping
// instruction) reaches `to`. Always true in 32-bit mode, where addresses wrap.
bool Rel32Reaches(uint64_t from, uint64_t to, int mode);

// Writes an unconditional jump located at `at` to `to`: E9 rel32 when it
// reaches, otherwise (64-bit mode only) FF 25 00000000 followed by the 8-byte
// absolute address. Returns the number of bytes written, 0 if `capacity` is
// too small.
size_t EncodeJump(uint64_t at, uint64_t to, int mode, uint8_t* out, size_t capacity);

}  // namespace interception::x86
