#include "core/pkcs8/credentials.h"

#include <cstring>

#include "core/hash/digest.h"
#include "core/pkcs8/encrypted_key.h"
#include "core/text/text.h"
#include "core/toolkit/toolkit.h"
#include "core/toolkit/wipe.h"
#include "core/x509/certificate.h"

namespace {

// One credential file, wiped when released.
struct FileBytes : SecretBytes {
    std::size_t length = 0;
    FileBytes() : SecretBytes(kDataItemFileLimit) {}

    // kCredentialsOk, the loader's code, or tooLarge for a file of the
    // bound or more: refused whole, never decoded from its first part.
    int Read(const char* fileName, int tooLarge)
    {
        bool opened = false;
        int result = ReadSmallFile(fileName, bytes.data(), &length, &opened);
        if (!opened) return kCredentialsCannotOpen;
        if (result == kDataSetsOk) return kCredentialsOk;
        if (result == kDataSetsNoMemory) return tooLarge;
        return kCredentialsUnreadable;
    }
};

}  // namespace

int LoadCredentials(const char* password, const char* keyFileName, const char* certificateFileName, DataSets* sets)
{
    InitDataSets(sets);
    std::size_t passwordLength = std::strlen(password);
    if (AddDataItem(sets, kSlotOwnPassword, password, passwordLength + 1) != kDataSetsOk) return kCredentialsKey;

    FileBytes keyFile;
    int result = keyFile.Read(keyFileName, kCredentialsKey);
    if (result != kCredentialsOk) return result;
    RsaPrivateKey privateKey;
    ScopedWipe wipeKey{&privateKey, sizeof privateKey};
    if (DecryptPrivateKeyInfo(keyFile.data(), keyFile.length, reinterpret_cast<const unsigned char*>(password),
                              passwordLength, &privateKey) != 0)
        return kCredentialsKey;
    if (AddDataItem(sets, kSlotOwnKey, keyFile.data(), keyFile.length) != kDataSetsOk) return kCredentialsKey;

    FileBytes certificateFile;
    result = certificateFile.Read(certificateFileName, kCredentialsCertificate);
    if (result != kCredentialsOk) return result;
    RsaPublicKey publicKey;
    if (!DecodeCertificateKey(certificateFile.data(), certificateFile.length, &publicKey, nullptr, nullptr))
        return kCredentialsCertificate;
    if (AddDataItem(sets, kSlotOwnCertificate, certificateFile.data(), certificateFile.length) != kDataSetsOk)
        return kCredentialsCertificate;
    return CheckKeyPair(&publicKey, &privateKey) == 0 ? kCredentialsOk : kCredentialsMismatch;
}

int GetCredentialPassword(const DataSets* sets, const unsigned char** password, std::size_t* length)
{
    int result = GetDataItem(sets, kSlotOwnPassword, 1, password, length);
    if (result == kDataSetsOk && (*password)[*length - 1] == '\0') --*length;
    return result;
}

int CheckKeyPair(const RsaPublicKey* publicKey, const RsaPrivateKey* privateKey)
{
    static const char kText[] = "Hola crypto mundo";
    const unsigned char* text = reinterpret_cast<const unsigned char*>(kText);
    unsigned char signature[kToolkitMaxSignature];
    ScopedWipe wipeSignature{signature, sizeof signature};
    std::size_t signatureLength = 0;
    if (SignDataBlock(signature, &signatureLength, text, sizeof kText - 1, kDigestMd2, privateKey) != 0) return 1;
    return VerifyDataBlock(text, sizeof kText - 1, signature, signatureLength, kDigestMd2, publicKey) == 0 ? 0 : 1;
}
