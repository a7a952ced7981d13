// Instruction-length decoder for the x86 and x86-64 instructions that function
// prologues are made of. It classifies each byte of the one-byte and 0F maps
// by what follows the opcode (ModRM, immediate sizes) and answers "unknown"
// for opcodes that are invalid in the mode, rarely seen (3DNow!, XOP, EVEX,
// far pointers) or ambiguous between vendors.
#include "interception/x86_code.h"

#include <array>
#include <cstring>

namespace interception::x86 {
namespace {

// Operand layout of an opcode.
enum : uint16_t {
    kModRM = 1 << 0,     // a ModRM byte follows
    kImm8 = 1 << 1,      // 8-bit immediate
    kImm16 = 1 << 2,     // 16-bit immediate (ret imm16, enter's first operand)
    kImmZ = 1 << 3,      // 16 or 32 bits depending on operand size
    kImmV = 1 << 4,      // 16, 32 or 64 bits (mov r, imm with REX.W)
    kMoffs = 1 << 5,     // absolute address sized by the address size
    kRel8 = 1 << 6,      // 8-bit relative branch
    kRelZ = 1 << 7,      // 16/32-bit relative branch
    kBad64 = 1 << 8,     // invalid in 64-bit mode
    kBad = 1 << 9,       // not decoded in either mode
    kGroupF6 = 1 << 10,  // F6/F7: immediate only for /0 and /1
};

using Table = std::array<uint16_t, 256>;

constexpr Table MakeOneByteTable() {
    Table t{};
    // ALU blocks 00-3F: op r/m,r (x4), op al,imm8, op eAX,immz; the last two
    // columns of each row are segment push/pop or BCD adjust (invalid in
    // 64-bit mode), prefixes (handled before the table), or the 0F escape.
    for (int row = 0; row < 0x40; row += 8) {
        t[row + 0] = t[row + 1] = t[row + 2] = t[row + 3] = kModRM;
        t[row + 4] = kImm8;
        t[row + 5] = kImmZ;
        t[row + 6] = kBad64;
        t[row + 7] = kBad64;
    }
    t[0x0F] = 0;  // escape, handled separately
    // 40-4F inc/dec (32-bit; REX in 64-bit is consumed as a prefix); 50-5F push/pop.
    for (int op = 0x40; op < 0x60; ++op) t[op] = 0;
    t[0x60] = t[0x61] = kBad64;                          // pusha/popa
    t[0x62] = kModRM | kBad64;                           // bound (EVEX in 64-bit mode)
    t[0x63] = kModRM;                                    // arpl / movsxd
    t[0x68] = kImmZ;                                     // push immz
    t[0x69] = kModRM | kImmZ;                            // imul r, r/m, immz
    t[0x6A] = kImm8;                                     // push imm8
    t[0x6B] = kModRM | kImm8;                            // imul r, r/m, imm8
    t[0x6C] = t[0x6D] = t[0x6E] = t[0x6F] = 0;           // ins/outs
    for (int op = 0x70; op < 0x80; ++op) t[op] = kRel8;  // jcc rel8
    t[0x80] = kModRM | kImm8;
    t[0x81] = kModRM | kImmZ;
    t[0x82] = kModRM | kImm8 | kBad64;
    t[0x83] = kModRM | kImm8;
    for (int op = 0x84; op < 0x90; ++op) t[op] = kModRM;  // test/xchg/mov/lea/pop r/m
    for (int op = 0x90; op < 0xA0; ++op) t[op] = 0;       // xchg, cbw, cwd, pushf ...
    t[0x9A] = kBad;                                       // call far ptr16:32
    t[0xA0] = t[0xA1] = t[0xA2] = t[0xA3] = kMoffs;
    for (int op = 0xA4; op < 0xB0; ++op) t[op] = 0;  // string ops
    t[0xA8] = kImm8;
    t[0xA9] = kImmZ;
    for (int op = 0xB0; op < 0xB8; ++op) t[op] = kImm8;
    for (int op = 0xB8; op < 0xC0; ++op) t[op] = kImmV;
    t[0xC0] = t[0xC1] = kModRM | kImm8;  // shift group, imm8
    t[0xC2] = kImm16;                    // ret imm16
    t[0xC3] = 0;
    t[0xC4] = t[0xC5] = kModRM | kBad64;  // les/lds (VEX handled before)
    t[0xC6] = kModRM | kImm8;
    t[0xC7] = kModRM | kImmZ;
    t[0xC8] = kImm16 | kImm8;  // enter imm16, imm8
    t[0xC9] = 0;
    t[0xCA] = kImm16;  // retf imm16
    t[0xCB] = t[0xCC] = 0;
    t[0xCD] = kImm8;   // int imm8
    t[0xCE] = kBad64;  // into
    t[0xCF] = 0;
    t[0xD0] = t[0xD1] = t[0xD2] = t[0xD3] = kModRM;
    t[0xD4] = t[0xD5] = kImm8 | kBad64;  // aam/aad
    t[0xD6] = kBad;                      // salc (undocumented)
    t[0xD7] = 0;
    for (int op = 0xD8; op < 0xE0; ++op) t[op] = kModRM;  // x87
    for (int op = 0xE0; op < 0xE4; ++op) t[op] = kRel8;   // loop*, jcxz
    t[0xE4] = t[0xE5] = t[0xE6] = t[0xE7] = kImm8;        // in/out imm8
    t[0xE8] = t[0xE9] = kRelZ;
    t[0xEA] = kBad;  // jmp far ptr16:32
    t[0xEB] = kRel8;
    t[0xEC] = t[0xED] = t[0xEE] = t[0xEF] = 0;
    t[0xF1] = t[0xF4] = t[0xF5] = 0;
    t[0xF6] = kModRM | kGroupF6;
    t[0xF7] = kModRM | kGroupF6;
    for (int op = 0xF8; op < 0xFE; ++op) t[op] = 0;
    t[0xFE] = t[0xFF] = kModRM;
    return t;
}

constexpr Table MakeTwoByteTable() {
    Table t{};
    for (auto& v : t) v = kModRM;  // most of the 0F map takes a ModRM byte
    // No operands.
    for (int op : {0x05, 0x06, 0x07, 0x08, 0x09, 0x0B, 0x0E, 0x30, 0x31, 0x32, 0x33,
                   0x34, 0x35, 0x37, 0x77, 0xA0, 0xA1, 0xA2, 0xA8, 0xA9, 0xAA}) {
        t[op] = 0;
    }
    for (int op = 0xC8; op < 0xD0; ++op) t[op] = 0;      // bswap
    for (int op = 0x80; op < 0x90; ++op) t[op] = kRelZ;  // jcc rel32
    // ModRM plus imm8.
    for (int op : {0x70, 0x71, 0x72, 0x73, 0xA4, 0xAC, 0xBA, 0xC2, 0xC4, 0xC5, 0xC6}) {
        t[op] = kModRM | kImm8;
    }
    // Undefined, 3DNow! (0F 0F), vendor-dependent encodings (0F 78/79), and
    // control/debug register moves (0F 20-23), whose ModRM ignores the mod field.
    for (int op : {0x04, 0x0A, 0x0C, 0x0F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x36,
                   0x39, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x78, 0x79, 0x7A, 0x7B, 0xA6, 0xA7}) {
        t[op] = kBad;
    }
    t[0x38] = t[0x3A] = 0;  // three-byte escapes, handled separately
    return t;
}

constexpr Table kOneByte = MakeOneByteTable();
constexpr Table kTwoByte = MakeTwoByteTable();

bool IsLegacyPrefix(uint8_t b) {
    switch (b) {
        case 0x26:
        case 0x2E:
        case 0x36:
        case 0x3E:
        case 0x64:
        case 0x65:
        case 0x66:
        case 0x67:
        case 0xF0:
        case 0xF2:
        case 0xF3:
            return true;
        default:
            return false;
    }
}

// VEX opcode map 1 instructions that carry an imm8.
bool VexMap1HasImm8(uint8_t op) {
    switch (op) {
        case 0x70:
        case 0x71:
        case 0x72:
        case 0x73:
        case 0xC2:
        case 0xC4:
        case 0xC5:
        case 0xC6:
            return true;
        default:
            return false;
    }
}

int32_t ReadSigned(const uint8_t* p, size_t size) {
    if (size == 1) return static_cast<int8_t>(p[0]);
    if (size == 2) {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

class Decoder {
public:
    Decoder(const uint8_t* code, size_t size, int mode, Instruction* out)
        : code_(code), size_(size), mode64_(mode == kMode64), out_(out) {}

    DecodeStatus Run();

private:
    bool Has(size_t n) const { return pos_ + n <= size_; }
    DecodeStatus DecodeModRM();
    DecodeStatus Finish(size_t immSize, bool relative, size_t relSize);

    const uint8_t* code_;
    size_t size_;
    bool mode64_;
    Instruction* out_;
    size_t pos_ = 0;
};

DecodeStatus Decoder::DecodeModRM() {
    Instruction& in = *out_;
    if (!Has(1)) return DecodeStatus::kTruncated;
    in.hasModRM = true;
    in.modrmOffset = static_cast<uint8_t>(pos_);
    in.modrm = code_[pos_++];
    const uint8_t mod = in.modrm >> 6;
    const uint8_t rm = in.modrm & 7;
    if (mod == 3) return DecodeStatus::kOk;

    size_t disp = 0;
    const bool address16 = !mode64_ && in.addressOverride;
    if (address16) {
        if (mod == 0 && rm == 6)
            disp = 2;
        else if (mod == 1)
            disp = 1;
        else if (mod == 2)
            disp = 2;
    } else {
        if (rm == 4) {  // SIB follows
            if (!Has(1)) return DecodeStatus::kTruncated;
            const uint8_t sib = code_[pos_++];
            if (mod == 0 && (sib & 7) == 5) disp = 4;
        }
        if (mod == 0 && rm == 5) {
            disp = 4;
            in.ripRelative = mode64_;
        } else if (mod == 1) {
            disp = 1;
        } else if (mod == 2) {
            disp = 4;
        }
    }
    if (disp) {
        if (!Has(disp)) return DecodeStatus::kTruncated;
        in.dispOffset = static_cast<uint8_t>(pos_);
        in.dispSize = static_cast<uint8_t>(disp);
        pos_ += disp;
    }
    return DecodeStatus::kOk;
}

DecodeStatus Decoder::Finish(size_t immSize, bool relative, size_t relSize) {
    Instruction& in = *out_;
    if (relative) {
        if (!Has(relSize)) return DecodeStatus::kTruncated;
        in.dispOffset = static_cast<uint8_t>(pos_);
        in.dispSize = static_cast<uint8_t>(relSize);
        in.branchDisplacement = ReadSigned(code_ + pos_, relSize);
        pos_ += relSize;
    }
    if (immSize) {
        if (!Has(immSize)) return DecodeStatus::kTruncated;
        in.immOffset = static_cast<uint8_t>(pos_);
        in.immSize = static_cast<uint8_t>(immSize);
        pos_ += immSize;
    }
    if (pos_ > kMaxInstructionLength) return DecodeStatus::kUnknown;
    in.length = static_cast<uint8_t>(pos_);
    return DecodeStatus::kOk;
}

DecodeStatus Decoder::Run() {
    Instruction& in = *out_;
    in = Instruction{};

    // Legacy prefixes and, in 64-bit mode, REX. A REX byte only counts when it
    // immediately precedes the opcode; a legacy prefix after it cancels it.
    for (;;) {
        if (!Has(1)) return DecodeStatus::kTruncated;
        if (pos_ >= kMaxInstructionLength) return DecodeStatus::kUnknown;
        const uint8_t b = code_[pos_];
        if (IsLegacyPrefix(b)) {
            switch (b) {
                case 0x66:
                    in.operandSize16 = true;
                    break;
                case 0x67:
                    in.addressOverride = true;
                    break;
                case 0xF0:
                    in.lock = true;
                    break;
                case 0xF2:
                    in.repnz = true;
                    break;
                case 0xF3:
                    in.repz = true;
                    break;
                default:
                    in.segment = b;
                    break;
            }
            in.rex = 0;
            ++pos_;
            continue;
        }
        if (mode64_ && (b & 0xF0) == 0x40) {
            in.rex = b;
            ++pos_;
            continue;
        }
        break;
    }
    const bool rexW = (in.rex & 0x08) != 0;
    const size_t immZ = (in.operandSize16 && !rexW) ? 2 : 4;

    uint8_t op = code_[pos_];

    // VEX. In 32-bit mode C4/C5 are les/lds unless the next byte has mod == 11.
    if ((op == 0xC4 || op == 0xC5) && (mode64_ || (Has(2) && (code_[pos_ + 1] & 0xC0) == 0xC0))) {
        if (in.operandSize16 || in.repz || in.repnz || in.lock || in.rex) {
            return DecodeStatus::kUnknown;  // these prefixes make VEX undefined
        }
        in.vex = true;
        uint8_t map = 1;
        if (op == 0xC5) {
            if (!Has(2)) return DecodeStatus::kTruncated;
            pos_ += 2;
        } else {
            if (!Has(3)) return DecodeStatus::kTruncated;
            map = code_[pos_ + 1] & 0x1F;
            if (map < 1 || map > 3) return DecodeStatus::kUnknown;
            pos_ += 3;
        }
        if (!Has(1)) return DecodeStatus::kTruncated;
        in.map = map;
        in.opcodeOffset = static_cast<uint8_t>(pos_);
        in.opcode = code_[pos_++];
        if (map == 1 && in.opcode == 0x77) return Finish(0, false, 0);  // vzeroupper/vzeroall
        DecodeStatus s = DecodeModRM();
        if (s != DecodeStatus::kOk) return s;
        const bool imm8 = map == 3 || (map == 1 && VexMap1HasImm8(in.opcode));
        return Finish(imm8 ? 1 : 0, false, 0);
    }

    // EVEX (62 in 64-bit mode, or 62 with mod == 11 in 32-bit mode) and XOP
    // (8F with a non-zero reg field) are not decoded.
    if (op == 0x62 && (mode64_ || (Has(2) && (code_[pos_ + 1] & 0xC0) == 0xC0))) {
        return DecodeStatus::kUnknown;
    }
    if (op == 0x8F && Has(2) && (code_[pos_ + 1] & 0x38) != 0) return DecodeStatus::kUnknown;

    if (op != 0x0F) {
        in.map = 0;
        in.opcodeOffset = static_cast<uint8_t>(pos_);
        in.opcode = op;
        ++pos_;
        const uint16_t f = kOneByte[op];
        if ((f & kBad) || (mode64_ && (f & kBad64))) return DecodeStatus::kUnknown;
        if (f & kModRM) {
            DecodeStatus s = DecodeModRM();
            if (s != DecodeStatus::kOk) return s;
        }
        size_t imm = 0;
        if (f & kImm8) imm += 1;
        if (f & kImm16) imm += 2;
        if (f & kImmZ) imm += immZ;
        if (f & kImmV) imm += rexW ? 8 : (in.operandSize16 ? 2 : 4);
        if (f & kMoffs) {
            imm += mode64_ ? (in.addressOverride ? 4 : 8) : (in.addressOverride ? 2 : 4);
        }
        if (f & kGroupF6) {
            const uint8_t reg = (in.modrm >> 3) & 7;
            if (reg == 0 || reg == 1) imm += (op == 0xF6) ? 1 : immZ;
        }

        // Control flow.
        const uint8_t reg = (in.modrm >> 3) & 7;
        if (op >= 0x70 && op <= 0x7F)
            in.flow = Flow::kCondJump;
        else if (op == 0xEB)
            in.flow = Flow::kJump;
        else if (op >= 0xE0 && op <= 0xE3)
            in.flow = Flow::kLoop;
        else if (op == 0xC3 || op == 0xC2 || op == 0xCB || op == 0xCA || op == 0xCF)
            in.flow = Flow::kReturn;
        else if (op == 0xCC || op == 0xF1 || op == 0xF4)
            in.flow = Flow::kTrap;
        else if (op == 0xFF && (reg == 2 || reg == 3))
            in.flow = Flow::kIndirectCall;
        else if (op == 0xFF && (reg == 4 || reg == 5))
            in.flow = Flow::kIndirectJump;
        else if (op == 0xFF && reg == 7)
            return DecodeStatus::kUnknown;
        else if (op == 0xFE && reg > 1)
            return DecodeStatus::kUnknown;

        if (op == 0xE8 || op == 0xE9) {
            // With 66 the branch is rel16 in 32-bit mode; in 64-bit mode vendors
            // disagree on its meaning, so it is not decoded.
            if (in.operandSize16 && mode64_) return DecodeStatus::kUnknown;
            in.flow = op == 0xE8 ? Flow::kCall : Flow::kJump;
            return Finish(imm, true, in.operandSize16 ? 2 : 4);
        }
        if (op == 0xC7 && in.modrm == 0xF8) {  // xbegin rel16/32
            if (in.operandSize16 && mode64_) return DecodeStatus::kUnknown;
            in.flow = Flow::kOtherRelative;
            return Finish(0, true, in.operandSize16 ? 2 : 4);
        }
        return Finish(imm, (f & kRel8) != 0, 1);
    }

    // Two- and three-byte opcodes.
    if (!Has(2)) return DecodeStatus::kTruncated;
    const uint8_t op2 = code_[pos_ + 1];
    if (op2 == 0x38 || op2 == 0x3A) {
        if (!Has(3)) return DecodeStatus::kTruncated;
        in.map = op2 == 0x38 ? 2 : 3;
        in.opcodeOffset = static_cast<uint8_t>(pos_ + 2);
        in.opcode = code_[pos_ + 2];
        pos_ += 3;
        DecodeStatus s = DecodeModRM();
        if (s != DecodeStatus::kOk) return s;
        return Finish(in.map == 3 ? 1 : 0, false, 0);
    }
    in.map = 1;
    in.opcodeOffset = static_cast<uint8_t>(pos_ + 1);
    in.opcode = op2;
    pos_ += 2;
    const uint16_t f = kTwoByte[op2];
    if (f & kBad) return DecodeStatus::kUnknown;
    if (f & kModRM) {
        DecodeStatus s = DecodeModRM();
        if (s != DecodeStatus::kOk) return s;
    }
    if (op2 == 0x0B || op2 == 0xB9 || op2 == 0xFF) in.flow = Flow::kTrap;  // ud2/ud1/ud0
    if (f & kRelZ) {
        if (in.operandSize16 && mode64_) return DecodeStatus::kUnknown;
        in.flow = Flow::kCondJump;
        return Finish(0, true, in.operandSize16 ? 2 : 4);
    }
    return Finish((f & kImm8) ? 1 : 0, false, 0);
}

}  // namespace

DecodeStatus Decode(const uint8_t* code, size_t size, int mode, Instruction* out) {
    if (!out) return DecodeStatus::kUnknown;
    if (!code || (mode != kMode32 && mode != kMode64)) {
        *out = Instruction{};
        return DecodeStatus::kUnknown;
    }
    Decoder d(code, size, mode, out);
    DecodeStatus s = d.Run();
    if (s != DecodeStatus::kOk) out->length = 0;
    return s;
}

size_t InstructionLength(const uint8_t* code, size_t size, int mode) {
    Instruction in;
    return Decode(code, size, mode, &in) == DecodeStatus::kOk ? in.length : 0;
}

}  // namespace interception::x86
