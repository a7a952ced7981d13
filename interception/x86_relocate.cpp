// Relocation of function-entry instructions into a trampoline.
//
// The copy runs at a different address, so everything that is addressed
// relative to the instruction pointer must be re-encoded:
//   - jmp/jcc/call with rel8 or rel32 displacements are re-emitted in their
//     rel32 forms (a short jcc becomes a near jcc); in 64-bit mode, when rel32
//     cannot reach the target from the trampoline, an absolute form is used;
//   - ModRM operands addressed relative to RIP (lea, mov, jmp [rip+x], ...)
//     keep their encoding with a recomputed displacement. jmp/call [rip+x]
//     that can no longer reach their pointer slot load it through an absolute
//     address instead; any other operand that cannot reach is refused.
// Refused outright: loop/jcxz (rel8 only, no long form), xbegin, branches with
// 16-bit targets, EIP-relative operands (67 prefix in 64-bit mode), branches
// into the bytes that will be overwritten, and code that ends (ret, jmp, int3)
// before enough bytes are covered.
#include "interception/x86_code.h"

#include <cstring>

namespace interception::x86 {
namespace {

class Emitter {
public:
    Emitter(uint8_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    bool Bytes(const void* data, size_t n) {
        if (!ok_ || pos_ + n > capacity_) {
            ok_ = false;
            return false;
        }
        std::memcpy(buffer_ + pos_, data, n);
        pos_ += n;
        return true;
    }
    bool Byte(uint8_t b) { return Bytes(&b, 1); }
    bool U32(uint32_t v) { return Bytes(&v, 4); }
    bool U64(uint64_t v) { return Bytes(&v, 8); }
    size_t pos() const { return pos_; }
    bool ok() const { return ok_; }
    uint8_t* at(size_t offset) { return buffer_ + offset; }

private:
    uint8_t* buffer_;
    size_t capacity_;
    size_t pos_ = 0;
    bool ok_ = true;
};

uint64_t Wrap(uint64_t address, int mode) { return mode == kMode32 ? (address & 0xFFFFFFFFull) : address; }

uint32_t Rel32(uint64_t from, uint64_t to) { return static_cast<uint32_t>(to - from); }

bool AddResume(Relocation* r, size_t dest, uint64_t address) {
    if (r->resumeCount >= kMaxResumePoints) return false;
    r->resume[r->resumeCount++] = {static_cast<uint8_t>(dest), address};
    return true;
}

// jmp [slot] through an absolute slot address, preserving every register:
//   push rax; mov rax, slot; mov rax, [rax]; xchg [rsp], rax; ret
bool EmitIndirectJumpAbsolute(Emitter& e, uint64_t slot) {
    static const uint8_t kHead[] = {0x50, 0x48, 0xB8};
    static const uint8_t kTail[] = {0x48, 0x8B, 0x00, 0x48, 0x87, 0x04, 0x24, 0xC3};
    e.Bytes(kHead, sizeof kHead);
    e.U64(slot);
    return e.Bytes(kTail, sizeof kTail);
}
constexpr size_t kIndirectJumpAbsoluteSize = 3 + 8 + 8;

// jmp [rip+0] followed by the 8-byte target: 14 bytes, any distance.
bool EmitAbsoluteJump(Emitter& e, uint64_t target) {
    static const uint8_t kJmpRipSlot[] = {0xFF, 0x25, 0x00, 0x00, 0x00, 0x00};
    e.Bytes(kJmpRipSlot, sizeof kJmpRipSlot);
    return e.U64(target);
}

}  // namespace

bool Rel32Reaches(uint64_t from, uint64_t to, int mode) {
    if (mode == kMode32) return true;
    const int64_t d = static_cast<int64_t>(to - from);
    return d >= INT32_MIN && d <= INT32_MAX;
}

size_t EncodeJump(uint64_t at, uint64_t to, int mode, uint8_t* out, size_t capacity) {
    if (!out) return 0;
    if (Rel32Reaches(at + 5, to, mode)) {
        if (capacity < 5) return 0;
        out[0] = 0xE9;
        const uint32_t rel = Rel32(at + 5, to);
        std::memcpy(out + 1, &rel, 4);
        return 5;
    }
    if (mode != kMode64 || capacity < 14) return 0;
    static const uint8_t kJmpRipSlot[] = {0xFF, 0x25, 0x00, 0x00, 0x00, 0x00};
    std::memcpy(out, kJmpRipSlot, sizeof kJmpRipSlot);
    std::memcpy(out + 6, &to, 8);
    return 14;
}

RelocateStatus Relocate(const uint8_t* code, size_t size, uint64_t sourceAddress, uint64_t destAddress, int mode,
                        size_t minimum, Relocation* out) {
    if (!code || !out || (mode != kMode32 && mode != kMode64)) return RelocateStatus::kBadArgument;
    if (mode == kMode32 && (sourceAddress > 0xFFFFFFFFull || destAddress > 0xFFFFFFFFull)) {
        return RelocateStatus::kBadArgument;
    }
    *out = Relocation{};

    // Pass 1: find the whole instructions that cover `minimum` bytes.
    struct Item {
        Instruction in;
        size_t offset;
    };
    Item items[kMaxRelocatedInstructions];
    size_t count = 0;
    size_t covered = 0;
    while (covered < minimum) {
        if (count == kMaxRelocatedInstructions) return RelocateStatus::kNoRoom;
        Instruction in;
        const DecodeStatus ds = Decode(code + covered, size - covered, mode, &in);
        if (ds == DecodeStatus::kTruncated) return RelocateStatus::kTruncated;
        if (ds != DecodeStatus::kOk) return RelocateStatus::kUnknownInstruction;

        switch (in.flow) {
            case Flow::kLoop:
            case Flow::kOtherRelative:
                return RelocateStatus::kUnsupported;
            case Flow::kJump:
            case Flow::kCondJump:
            case Flow::kCall:
                if (in.operandSize16 || in.addressOverride) return RelocateStatus::kUnsupported;
                break;
            default:
                break;
        }
        if (in.ripRelative && in.addressOverride) return RelocateStatus::kUnsupported;

        items[count++] = {in, covered};
        covered += in.length;
        if (covered < minimum) {
            switch (in.flow) {
                case Flow::kReturn:
                case Flow::kJump:
                case Flow::kIndirectJump:
                case Flow::kTrap:
                    return RelocateStatus::kFunctionTooShort;
                default:
                    break;
            }
        }
    }

    // Pass 2: emit.
    Emitter e(out->code, kMaxRelocatedCode);
    for (size_t i = 0; i < count; ++i) {
        const Instruction& in = items[i].in;
        const uint8_t* p = code + items[i].offset;
        const uint64_t src = Wrap(sourceAddress + items[i].offset, mode);
        const uint64_t srcEnd = Wrap(src + in.length, mode);

        out->instructions[out->instructionCount++] = {static_cast<uint8_t>(items[i].offset),
                                                      static_cast<uint8_t>(e.pos())};
        if (!AddResume(out, e.pos(), src)) return RelocateStatus::kNoRoom;
        const uint64_t dst = Wrap(destAddress + e.pos(), mode);

        if (in.flow == Flow::kJump || in.flow == Flow::kCondJump || in.flow == Flow::kCall) {
            const uint64_t target = Wrap(srcEnd + static_cast<int64_t>(in.branchDisplacement), mode);
            if (target == srcEnd) {
                // A branch to the very next instruction. jmp and jcc ones change
                // nothing and are dropped. call $+5 is the "where am I" idiom: the
                // pushed value must stay the original address, not the trampoline's,
                // so the push is reproduced without the call.
                if (in.flow == Flow::kCall) {
                    if (mode == kMode32) {
                        e.Byte(0x68);  // push imm32
                        e.U32(static_cast<uint32_t>(srcEnd));
                    } else {
                        // lea rsp,[rsp-8]; mov dword [rsp],lo; mov dword [rsp+4],hi
                        // (leaves the flags alone, unlike sub).
                        static const uint8_t kLea[] = {0x48, 0x8D, 0x64, 0x24, 0xF8};
                        static const uint8_t kLow[] = {0xC7, 0x04, 0x24};
                        static const uint8_t kHigh[] = {0xC7, 0x44, 0x24, 0x04};
                        e.Bytes(kLea, sizeof kLea);
                        e.Bytes(kLow, sizeof kLow);
                        e.U32(static_cast<uint32_t>(srcEnd));
                        e.Bytes(kHigh, sizeof kHigh);
                        e.U32(static_cast<uint32_t>(srcEnd >> 32));
                    }
                }
                if (!e.ok()) return RelocateStatus::kNoRoom;
                continue;
            }
            if (Wrap(target - sourceAddress, mode) < covered) {
                // Anything else that lands in the bytes being overwritten is usually
                // a loop head that later code jumps back to as well, which moving
                // the prologue cannot make work.
                return RelocateStatus::kBranchIntoPatch;
            }

            if (in.flow == Flow::kJump) {
                uint8_t jump[14];
                const size_t n = EncodeJump(dst, target, mode, jump, sizeof jump);
                if (!n) return RelocateStatus::kOutOfRange;
                e.Bytes(jump, n);
            } else if (in.flow == Flow::kCondJump) {
                const uint8_t cc = static_cast<uint8_t>((in.map == 0 ? in.opcode - 0x70 : in.opcode - 0x80) & 0x0F);
                if (Rel32Reaches(dst + 6, target, mode)) {
                    e.Byte(0x0F);
                    e.Byte(static_cast<uint8_t>(0x80 | cc));
                    e.U32(Rel32(dst + 6, target));
                } else {
                    // Inverted short jcc over an absolute jump.
                    e.Byte(static_cast<uint8_t>(0x70 | (cc ^ 1)));
                    e.Byte(14);
                    if (!AddResume(out, e.pos(), target)) return RelocateStatus::kNoRoom;
                    EmitAbsoluteJump(e, target);
                }
            } else {  // call
                if (Rel32Reaches(dst + 5, target, mode)) {
                    e.Byte(0xE8);
                    e.U32(Rel32(dst + 5, target));
                } else {
                    // call [rip+2]; jmp over the address; the 8-byte address.
                    static const uint8_t kCallSlot[] = {0xFF, 0x15, 0x02, 0x00, 0x00, 0x00, 0xEB, 0x08};
                    e.Bytes(kCallSlot, sizeof kCallSlot);
                    if (!AddResume(out, e.pos() - 2, srcEnd)) return RelocateStatus::kNoRoom;
                    e.U64(target);
                }
            }
            if (!e.ok()) return RelocateStatus::kNoRoom;
            continue;
        }

        if (in.ripRelative) {
            int32_t disp;
            std::memcpy(&disp, p + in.dispOffset, 4);
            const uint64_t target = srcEnd + static_cast<int64_t>(disp);
            const int64_t newDisp = static_cast<int64_t>(target - (dst + in.length));
            if (newDisp >= INT32_MIN && newDisp <= INT32_MAX) {
                const size_t start = e.pos();
                if (!e.Bytes(p, in.length)) return RelocateStatus::kNoRoom;
                const int32_t d32 = static_cast<int32_t>(newDisp);
                std::memcpy(e.at(start + in.dispOffset), &d32, 4);
                continue;
            }
            // jmp/call [rip+x] whose slot is out of reach: load the slot through an
            // absolute address. Only plain encodings (optionally with a REX byte)
            // are rewritten; a segment or size prefix would change the meaning.
            const uint8_t reg = (in.modrm >> 3) & 7;
            const bool plain = in.map == 0 && in.opcode == 0xFF && !in.vex && !in.segment && !in.operandSize16 &&
                               !in.lock && !in.repz && !in.repnz && in.opcodeOffset == (in.rex ? 1 : 0);
            if (plain && reg == 4) {
                EmitIndirectJumpAbsolute(e, target);
            } else if (plain && reg == 2) {
                // call L; jmp over L's body; L: the absolute indirect jump. The
                // callee returns to the short jmp, which continues after the sequence.
                e.Byte(0xE8);
                e.U32(2);
                if (!AddResume(out, e.pos(), srcEnd)) return RelocateStatus::kNoRoom;
                e.Byte(0xEB);
                e.Byte(static_cast<uint8_t>(kIndirectJumpAbsoluteSize));
                EmitIndirectJumpAbsolute(e, target);
            } else {
                return RelocateStatus::kOutOfRange;
            }
            if (!e.ok()) return RelocateStatus::kNoRoom;
            continue;
        }

        if (!e.Bytes(p, in.length)) return RelocateStatus::kNoRoom;
    }

    out->sourceSize = covered;
    out->jumpBackOffset = e.pos();
    const uint64_t back = Wrap(sourceAddress + covered, mode);
    if (!AddResume(out, e.pos(), back)) return RelocateStatus::kNoRoom;
    uint8_t jump[14];
    const size_t n = EncodeJump(Wrap(destAddress + e.pos(), mode), back, mode, jump, sizeof jump);
    if (!n || !e.Bytes(jump, n)) return RelocateStatus::kNoRoom;
    out->codeSize = e.pos();
    return RelocateStatus::kOk;
}

}  // namespace interception::x86
