#include "storage/Md5Digest.h"

#include <windows.h>

#include <bcrypt.h>

bool Md5Digest(std::string_view text, TMd5& digest)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
        return false;
    }
    // A one-shot hash: no hash object to size and keep.
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    if (done) {
        // BCrypt takes the input as non-const; it does not write to it.
        auto* input = reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
        done = BCRYPT_SUCCESS(BCryptHashData(hash, input, static_cast<ULONG>(text.size()), 0))
            && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done;
}
