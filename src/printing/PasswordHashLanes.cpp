// Many revision 6 password hashes at once. Each hash is a chain of rounds that wait on each
// other: AES-CBC waits on the previous block, SHA-2 on the previous step. Hashes of different
// passwords or salts do not, so eight of them go side by side: AES-NI on eight lanes' blocks
// in turn, AVX-512 on eight lanes' SHA-384 and SHA-512 in one register each. Each lane computes
// exactly what passwordHashR6 does; the tests hold the two to each other.
#include "printing/PasswordHashLanes.h"
#include "printing/PasswordHashRounds.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>

// GCC 12 warns of its own AVX-512 headers, whose intrinsics start from an undefined register
// (its bug 105593); nothing of ours is read uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define CW_LANES_TARGET __attribute__((target("avx512f,avx512bw,aes,sse4.1")))

namespace cw::printing {

namespace {

constexpr int kLanes = 8;
constexpr std::size_t kInFlight = 32;
// The longest K1: 127 bytes of password, 64 of K, 48 of user key, 64 times.
constexpr std::size_t kMaxK1 = (127 + 64 + 48) * 64;

struct Lane {
    std::size_t input = 0;
    bool busy = false;
    std::string_view password, userKey;
    unsigned round = 1;
    alignas(64) std::uint8_t k[64];
    std::size_t kLength = 32;
    std::size_t length = 0; // of K1 and E
    bool sha384 = false;
    __m128i roundKeys[11];
    __m128i chain;
    alignas(64) std::array<std::uint8_t, kMaxK1> k1, e;
};

CW_LANES_TARGET inline __m128i expandStep(__m128i key, __m128i assist)
{
    assist = _mm_shuffle_epi32(assist, 0xFF);
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    return _mm_xor_si128(key, assist);
}

// AES-128's round keys from K's first 16 bytes; K's next 16 are the IV.
CW_LANES_TARGET void startAes(Lane& lane)
{
    __m128i* rk = lane.roundKeys;
    rk[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane.k));
#define CW_EXPAND(i, rcon) rk[i] = expandStep(rk[i - 1], _mm_aeskeygenassist_si128(rk[i - 1], rcon))
    CW_EXPAND(1, 0x01); CW_EXPAND(2, 0x02); CW_EXPAND(3, 0x04); CW_EXPAND(4, 0x08); CW_EXPAND(5, 0x10);
    CW_EXPAND(6, 0x20); CW_EXPAND(7, 0x40); CW_EXPAND(8, 0x80); CW_EXPAND(9, 0x1B); CW_EXPAND(10, 0x36);
#undef CW_EXPAND
    lane.chain = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane.k + 16));
}

// Blocks [from, to) of N lanes' K1 in CBC: one lane's blocks depend on each other, the lanes'
// do not, so the processor works on N at a time.
template <int N>
CW_LANES_TARGET void cbcLanes(Lane* const* lanes, std::size_t from, std::size_t to)
{
    __m128i c[N];
    const __m128i* keys[N];
#pragma GCC unroll 8
    for (int l = 0; l < N; ++l) {
        c[l] = lanes[l]->chain;
        keys[l] = lanes[l]->roundKeys;
    }
    for (std::size_t b = from; b < to; ++b) {
#pragma GCC unroll 8
        for (int l = 0; l < N; ++l) {
            const __m128i plain = _mm_load_si128(reinterpret_cast<const __m128i*>(lanes[l]->k1.data() + 16 * b));
            c[l] = _mm_xor_si128(_mm_xor_si128(c[l], plain), keys[l][0]);
        }
#pragma GCC unroll 9
        for (int r = 1; r < 10; ++r)
#pragma GCC unroll 8
            for (int l = 0; l < N; ++l)
                c[l] = _mm_aesenc_si128(c[l], keys[l][r]);
#pragma GCC unroll 8
        for (int l = 0; l < N; ++l) {
            c[l] = _mm_aesenclast_si128(c[l], keys[l][10]);
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes[l]->e.data() + 16 * b), c[l]);
        }
    }
#pragma GCC unroll 8
    for (int l = 0; l < N; ++l)
        lanes[l]->chain = c[l];
}

CW_LANES_TARGET void cbcLanes(Lane* const* lanes, int count, std::size_t from, std::size_t to)
{
    switch (count) {
    case 1: return cbcLanes<1>(lanes, from, to);
    case 2: return cbcLanes<2>(lanes, from, to);
    case 3: return cbcLanes<3>(lanes, from, to);
    case 4: return cbcLanes<4>(lanes, from, to);
    case 5: return cbcLanes<5>(lanes, from, to);
    case 6: return cbcLanes<6>(lanes, from, to);
    case 7: return cbcLanes<7>(lanes, from, to);
    default: return cbcLanes<8>(lanes, from, to);
    }
}

// E = AES-128-CBC of K1 for up to eight lanes in order of length: the shorter drop out as
// they end.
CW_LANES_TARGET void encryptLanes(Lane* const* byLength, int count)
{
    std::size_t done = 0;
    for (int i = 0; i < count; ++i) {
        const std::size_t blocks = byLength[i]->length / 16;
        if (blocks > done)
            cbcLanes(byLength + i, count - i, done, blocks);
        done = std::max(done, blocks);
    }
}

constexpr std::uint64_t kSha512Rounds[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538, 0x59f111f1b605d019,
    0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3,
    0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65, 0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b, 0xa2bfe8a14cf10364, 0xa81a664bbc423001,
    0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb,
    0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c, 0xd186b8c721c0c207,
    0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a,
    0x5fcb6fab3ad6faec, 0x6c44198c4a475817};
constexpr std::uint64_t kSha512Start[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
                                           0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
constexpr std::uint64_t kSha384Start[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
                                           0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};

CW_LANES_TARGET inline __m512i xor3(__m512i a, __m512i b, __m512i c) { return _mm512_ternarylogic_epi64(a, b, c, 0x96); }

// One SHA-512 block of every lane, the lanes outside `active` left as they were.
CW_LANES_TARGET void compressLanes(__m512i state[8], __m512i w[16], __mmask8 active)
{
    __m512i a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5], g = state[6], h = state[7];
    // Sixteen rounds at a time, so that each round's word of the schedule has a fixed place.
    for (int from = 0; from < 80; from += 16) {
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            if (from > 0) {
                const __m512i w2 = w[(i - 2) & 15], w15 = w[(i - 15) & 15];
                const __m512i s1 = xor3(_mm512_ror_epi64(w2, 19), _mm512_ror_epi64(w2, 61), _mm512_srli_epi64(w2, 6));
                const __m512i s0 = xor3(_mm512_ror_epi64(w15, 1), _mm512_ror_epi64(w15, 8), _mm512_srli_epi64(w15, 7));
                w[i] = _mm512_add_epi64(_mm512_add_epi64(s1, w[(i - 7) & 15]), _mm512_add_epi64(s0, w[i]));
            }
            const __m512i bigS1 = xor3(_mm512_ror_epi64(e, 14), _mm512_ror_epi64(e, 18), _mm512_ror_epi64(e, 41));
            const __m512i ch = _mm512_ternarylogic_epi64(e, f, g, 0xCA);
            const __m512i t1 = _mm512_add_epi64(_mm512_add_epi64(_mm512_add_epi64(h, bigS1), _mm512_add_epi64(ch, w[i])),
                                                _mm512_set1_epi64(static_cast<long long>(kSha512Rounds[from + i])));
            const __m512i bigS0 = xor3(_mm512_ror_epi64(a, 28), _mm512_ror_epi64(a, 34), _mm512_ror_epi64(a, 39));
            const __m512i t2 = _mm512_add_epi64(bigS0, _mm512_ternarylogic_epi64(a, b, c, 0xE8));
            h = g;
            g = f;
            f = e;
            e = _mm512_add_epi64(d, t1);
            d = c;
            c = b;
            b = a;
            a = _mm512_add_epi64(t1, t2);
        }
    }
    const __m512i sums[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
        state[i] = _mm512_mask_add_epi64(state[i], active, state[i], sums[i]);
}

// K = SHA-384 or SHA-512 of each lane's E, eight lanes at a time.
CW_LANES_TARGET void sha512Lanes(Lane* const* lanes, int count)
{
    alignas(64) std::uint8_t tails[kLanes][256] = {};
    alignas(64) static const std::uint8_t kNothing[128] = {};
    std::size_t full[kLanes] = {}, blocks[kLanes] = {}, most = 0;
    alignas(64) std::uint64_t words[8][kLanes] = {};
    for (int l = 0; l < count; ++l) {
        const Lane& lane = *lanes[l];
        full[l] = lane.length / 128;
        const std::size_t rest = lane.length % 128, tailBlocks = rest + 17 <= 128 ? 1 : 2;
        std::memcpy(tails[l], lane.e.data() + 128 * full[l], rest);
        tails[l][rest] = 0x80;
        const std::uint64_t bits = static_cast<std::uint64_t>(lane.length) * 8;
        for (int i = 0; i < 8; ++i)
            tails[l][128 * tailBlocks - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
        blocks[l] = full[l] + tailBlocks;
        most = std::max(most, blocks[l]);
        for (int i = 0; i < 8; ++i)
            words[i][l] = lane.sha384 ? kSha384Start[i] : kSha512Start[i];
    }
    __m512i state[8];
    for (int i = 0; i < 8; ++i)
        state[i] = _mm512_load_si512(words[i]);
    // Reverses the bytes of each 64-bit word: the message is big-endian.
    const __m512i swap = _mm512_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2,
                                         3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                         14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    for (std::size_t b = 0; b < most; ++b) {
        alignas(64) const std::uint8_t* at[kLanes];
        __mmask8 active = 0;
        for (int l = 0; l < kLanes; ++l) {
            if (b < full[l])
                at[l] = lanes[l]->e.data() + 128 * b;
            else if (b < blocks[l])
                at[l] = tails[l] + 128 * (b - full[l]);
            else
                at[l] = kNothing;
            if (b < blocks[l])
                active = static_cast<__mmask8>(active | (1u << l));
        }
        const __m512i base = _mm512_load_si512(at);
        __m512i w[16];
        for (int t = 0; t < 16; ++t)
            w[t] = _mm512_shuffle_epi8(_mm512_i64gather_epi64(_mm512_add_epi64(base, _mm512_set1_epi64(8 * t)), nullptr, 1), swap);
        compressLanes(state, w, active);
    }
    for (int i = 0; i < 8; ++i)
        _mm512_store_si512(words[i], state[i]);
    for (int l = 0; l < count; ++l) {
        Lane& lane = *lanes[l];
        lane.kLength = lane.sha384 ? 48 : 64;
        for (std::size_t i = 0; i < lane.kLength; ++i)
            lane.k[i] = static_cast<std::uint8_t>(words[i / 8][l] >> (56 - 8 * (i % 8)));
    }
}

void start(Lane& lane, const PasswordHashInput& input, std::size_t index)
{
    lane.input = index;
    lane.busy = true;
    lane.password = r6::hashedPassword(input.password);
    lane.userKey = input.userKey;
    lane.round = 1;
    lane.kLength = SHA256_DIGEST_SIZE;
    r6::firstK(lane.password, input.salt, lane.userKey, lane.k);
}

CW_LANES_TARGET void hashInLanes(const std::vector<PasswordHashInput>& inputs, std::vector<std::string>& hashes)
{
    // Enough hashes under way that the SHA-512 lanes fill up although each round picks its hash
    // by the data: about two in three take SHA-384 or SHA-512.
    std::vector<Lane> lanes(std::min(kInFlight, inputs.size()));
    std::size_t next = 0;
    for (Lane& lane : lanes) {
        start(lane, inputs[next], next);
        ++next;
    }
    std::vector<Lane*> busy, wide;
    for (;;) {
        busy.clear();
        for (Lane& lane : lanes)
            if (lane.busy)
                busy.push_back(&lane);
        if (busy.empty())
            break;
        for (Lane* lane : busy) {
            lane->length = r6::repeatedLength(lane->password, lane->kLength, lane->userKey);
            r6::repeatInput(lane->password, lane->k, lane->kLength, lane->userKey, lane->k1.data());
            startAes(*lane);
        }
        // In order of length, so that the lanes of a group end close together.
        std::stable_sort(busy.begin(), busy.end(), [](const Lane* a, const Lane* b) { return a->length < b->length; });
        for (std::size_t i = 0; i < busy.size(); i += kLanes)
            encryptLanes(busy.data() + i, static_cast<int>(std::min<std::size_t>(kLanes, busy.size() - i)));
        wide.clear();
        for (Lane* lane : busy) {
            const unsigned next = r6::nextHash(lane->e.data());
            if (next == 0) {
                sha256_ctx sha;
                sha256_init(&sha);
                sha256_update(&sha, lane->length, lane->e.data());
                sha256_digest(&sha, lane->kLength = SHA256_DIGEST_SIZE, lane->k);
            } else {
                lane->sha384 = next == 1;
                wide.push_back(lane);
            }
        }
        for (std::size_t i = 0; i < wide.size(); i += kLanes)
            sha512Lanes(wide.data() + i, static_cast<int>(std::min<std::size_t>(kLanes, wide.size() - i)));
        for (Lane* lane : busy) {
            if (r6::lastRound(lane->round, lane->e[lane->length - 1])) {
                hashes[lane->input].assign(reinterpret_cast<const char*>(lane->k), 32);
                lane->busy = false;
                if (next < inputs.size()) {
                    start(*lane, inputs[next], next);
                    ++next;
                }
            } else {
                ++lane->round;
            }
        }
    }
    for (Lane& lane : lanes) {
        std::fill(lane.k1.begin(), lane.k1.end(), 0);
        std::fill(std::begin(lane.k), std::end(lane.k), 0);
    }
}

} // namespace

bool passwordHashesInLanes(const std::vector<PasswordHashInput>& inputs, std::vector<std::string>& hashes)
{
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw") || !__builtin_cpu_supports("aes"))
        return false;
    // A lane holds K1 for a user key of at most 48 bytes, the length of U.
    if (std::any_of(inputs.begin(), inputs.end(), [](const PasswordHashInput& in) { return in.userKey.size() > 48; }))
        return false;
    hashes.assign(inputs.size(), {});
    if (!inputs.empty())
        hashInLanes(inputs, hashes);
    return true;
}

} // namespace cw::printing

#else

namespace cw::printing {
bool passwordHashesInLanes(const std::vector<PasswordHashInput>&, std::vector<std::string>&) { return false; }
} // namespace cw::printing

#endif
