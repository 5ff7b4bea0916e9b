#include <qmsupport/toolsapi/identifiers.h>

#include <pthread.h>
#include <sodium.h>
#include <unicode/uchar.h>

#include <cstring>
#include <mutex>
#include <new>

namespace {

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}
bool IsAsciiDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool IsLetter(wchar_t c, bool strict) {
    if (IsAsciiLetter(c)) {
        return true;
    }
    // wchar_t holds a code point; values outside Unicode are no letters.
    return !strict && c >= 0x80 && c <= 0x10FFFF && u_isalpha(static_cast<UChar32>(c));
}

void WriteHex(wchar_t*& p, unsigned value, int digits) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        *p++ = kDigits[(value >> shift) & 15];
    }
}

// Where NewGUID draws from: random GUIDs, or the stream keyed by a seed. GUID number n of a
// stream is the start of the ChaCha20 key stream for the seed and the nonce n, so that any
// GUID of the stream can be drawn on its own.
//
// Random GUIDs come from a pool of ChaCha20 key stream under a fresh key from the system's
// random generator: a conversion that makes millions of GUIDs would otherwise spend most of
// its time in the system call and in the kernel's own generator. The key is wiped once the
// pool is filled, and a drawn GUID is wiped from the pool. A child process never reuses its
// parent's pool.
struct GuidSource {
    std::mutex mutex;
    bool seeded = false;
    qm::GuidSeed seed{};
    uint64_t drawn = 0;
    uint8_t pool[16384];
    size_t poolUsed = sizeof pool;
};

GuidSource& Source() {
    static GuidSource source;
    return source;
}

void InitSodium() {
    static const int status = sodium_init();
    (void)status;  // -1 only without a random device, which randombytes_buf reports itself
}

// Draws the next 16 bytes of the seeded stream; false when no seed is in force.
bool DrawSeeded(uint8_t bytes[16]) {
    GuidSource& source = Source();
    std::lock_guard<std::mutex> lock(source.mutex);
    if (!source.seeded) {
        return false;
    }
    unsigned char nonce[crypto_stream_chacha20_ietf_NONCEBYTES] = {};
    for (int i = 0; i < 8; ++i) {
        nonce[i] = static_cast<unsigned char>(source.drawn >> (8 * i));
    }
    ++source.drawn;
    crypto_stream_chacha20_ietf(bytes, 16, nonce, source.seed.data());
    return true;
}

// Draws 16 random bytes from the pool, refilling it when it runs out.
void DrawRandom(uint8_t bytes[16]) {
    InitSodium();
    GuidSource& source = Source();
    // A child process starts with an empty pool.
    static const int forkHandler =
        pthread_atfork(nullptr, nullptr, [] { Source().poolUsed = sizeof Source().pool; });
    (void)forkHandler;
    std::lock_guard<std::mutex> lock(source.mutex);
    if (source.poolUsed + 16 > sizeof source.pool) {
        unsigned char key[crypto_stream_chacha20_ietf_KEYBYTES];
        const unsigned char nonce[crypto_stream_chacha20_ietf_NONCEBYTES] = {};
        randombytes_buf(key, sizeof key);
        crypto_stream_chacha20_ietf(source.pool, sizeof source.pool, nonce, key);
        sodium_memzero(key, sizeof key);
        source.poolUsed = 0;
    }
    std::memcpy(bytes, source.pool + source.poolUsed, 16);
    sodium_memzero(source.pool + source.poolUsed, 16);
    source.poolUsed += 16;
}

}  // namespace

bool NewGUID(QMGUID& guid) {
    uint8_t bytes[16];
    if (!DrawSeeded(bytes)) {
        DrawRandom(bytes);
    }
    // The version 4 and RFC 4122 variant bits, as a random UUID has them.
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    // The bytes of an RFC 4122 UUID are in network order, which the three leading fields
    // of a GUID read as big-endian numbers, so that both give the same text.
    guid.Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                 (uint32_t{bytes[2]} << 8) | bytes[3];
    guid.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = bytes[8 + i];
    }
    return true;
}

const wchar_t* guidtow(const QMGUID& guid, wchar_t* buffer) {
    if (!buffer) {
        return nullptr;
    }
    wchar_t* p = buffer;
    *p++ = L'{';
    WriteHex(p, guid.Data1, 8);
    *p++ = L'-';
    WriteHex(p, guid.Data2, 4);
    *p++ = L'-';
    WriteHex(p, guid.Data3, 4);
    *p++ = L'-';
    WriteHex(p, guid.Data4[0], 2);
    WriteHex(p, guid.Data4[1], 2);
    *p++ = L'-';
    for (int i = 2; i < 8; ++i) {
        WriteHex(p, guid.Data4[i], 2);
    }
    *p++ = L'}';
    *p = L'\0';
    return buffer;
}

QMWideString NewGUIDText() {
    QMGUID guid;
    NewGUID(guid);
    wchar_t buffer[qm::kGuidTextSize];
    return QMWideString(guidtow(guid, buffer));
}

bool IsValidId(const wchar_t* text, bool strict) {
    if (!text || !*text || !(text[0] == L'_' || IsLetter(text[0], strict))) {
        return false;
    }
    for (const wchar_t* p = text + 1; *p; ++p) {
        if (!(*p == L'_' || IsAsciiDigit(*p) || IsLetter(*p, strict))) {
            return false;
        }
    }
    return true;
}

bool NormalizeId(QMWideString& text) {
    std::wstring& s = text.str();
    bool changed = false;
    for (wchar_t& c : s) {
        if (!(c == L'_' || IsAsciiLetter(c) || IsAsciiDigit(c))) {
            c = L'_';
            changed = true;
        }
    }
    if (s.empty() || IsAsciiDigit(s[0])) {
        try {
            s.insert(s.begin(), L'_');
        } catch (const std::bad_alloc&) {
            return changed;  // only a text too big to grow is left with its digit
        }
        changed = true;
    }
    return changed;
}

namespace qm {

GuidSeed NewGuidSeed() {
    InitSodium();
    GuidSeed seed;
    randombytes_buf(seed.data(), seed.size());
    return seed;
}

std::string GuidSeedToHex(const GuidSeed& seed) {
    char hex[2 * sizeof(GuidSeed) + 1];
    sodium_bin2hex(hex, sizeof hex, seed.data(), seed.size());
    return hex;
}

bool GuidSeedFromHex(std::string_view hex, GuidSeed& seed) {
    GuidSeed read;
    size_t length = 0;
    const char* end = nullptr;
    if (hex.size() != 2 * read.size() ||
        sodium_hex2bin(read.data(), read.size(), hex.data(), hex.size(), nullptr, &length, &end) !=
            0 ||
        length != read.size() || end != hex.data() + hex.size()) {
        return false;
    }
    seed = read;
    return true;
}

void SetGuidSeed(const GuidSeed& seed) {
    GuidSource& source = Source();
    std::lock_guard<std::mutex> lock(source.mutex);
    source.seeded = true;
    source.seed = seed;
    source.drawn = 0;
}

void ClearGuidSeed() {
    GuidSource& source = Source();
    std::lock_guard<std::mutex> lock(source.mutex);
    source.seeded = false;
    sodium_memzero(source.seed.data(), source.seed.size());
    source.drawn = 0;
}

ScopedGuidSeed::ScopedGuidSeed(const GuidSeed& seed) {
    GuidSource& source = Source();
    std::lock_guard<std::mutex> lock(source.mutex);
    wasSeeded_ = source.seeded;
    previousSeed_ = source.seed;
    previousDrawn_ = source.drawn;
    source.seeded = true;
    source.seed = seed;
    source.drawn = 0;
}

ScopedGuidSeed::~ScopedGuidSeed() {
    GuidSource& source = Source();
    std::lock_guard<std::mutex> lock(source.mutex);
    source.seeded = wasSeeded_;
    source.seed = previousSeed_;
    source.drawn = previousDrawn_;
    sodium_memzero(previousSeed_.data(), previousSeed_.size());
}

}  // namespace qm
