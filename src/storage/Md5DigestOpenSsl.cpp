#include "storage/Md5Digest.h"

#include <openssl/evp.h>

bool Md5Digest(std::string_view text, TMd5& digest)
{
    unsigned int size = 0;
    return EVP_Digest(text.data(), text.size(), digest.data(), &size, EVP_md5(), nullptr) == 1 && size == digest.size();
}
