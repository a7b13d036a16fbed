// NSS first: Qt's "slots" keyword would clash with its headers.
#include <cert.h>
#include <cryptohi.h>
#include <nss.h>
#include <p12.h>
#include <p12plcy.h>
#include <pk11pub.h>
#include <prerror.h>
#include <secerr.h>
#include <secmod.h>

#include "printing/PdfSigner.h"

#include "core/Failure.h"
#include "core/PathText.h"
#include "printing/CmsSignature.h"
#include "printing/PrintingFailure.h"
#include "printing/SignatureUpdate.h"
#include "printing/SoftwareKey.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <chrono>
#include <vector>

namespace fs = std::filesystem;

namespace cw::printing {

// The signer's own NSS: a context of its own (other users of NSS in the process keep theirs),
// the certificate it signs with, its private key, held from the start, and for a .p12 the
// private database holding the key.
struct PdfSigner::Key {
    NSSInitContext* context = nullptr;
    CERTCertificate* cert = nullptr;
    SECKEYPrivateKey* privateKey = nullptr;
    SECOidTag signatureTag = SEC_OID_UNKNOWN; // the key's kind with SHA-256
    std::unique_ptr<SoftwareKey> softwareKey; // the same key, when it may sign outside NSS
    CmsSigner cms;                            // the signature's parts that never change
    std::string pin; // the token's PIN, empty for the private database; the key's password argument
    PK11SlotInfo* privateSlot = nullptr;
    std::unique_ptr<QTemporaryDir> privateDir;

    ~Key()
    {
        if (privateKey)
            SECKEY_DestroyPrivateKey(privateKey);
        if (cert)
            CERT_DestroyCertificate(cert);
        if (privateSlot) {
            SECMOD_CloseUserDB(privateSlot);
            PK11_FreeSlot(privateSlot);
        }
        if (context)
            NSS_ShutdownContext(context);
    }
};

namespace {

[[noreturn]] void fail(const std::string& text)
{
    throw printingFailure(text);
}

std::string nssError()
{
    const PRErrorCode code = PR_GetError();
    const char* text = PR_ErrorToString(code, PR_LANGUAGE_I_DEFAULT);
    return text && *text ? text : PR_ErrorToName(code) ? PR_ErrorToName(code) : "unknown NSS error";
}

// The PIN a token asks for while we check it; null when none was given.
char* givenPin(PK11SlotInfo*, PRBool retry, void* arg)
{
    return retry || !arg ? nullptr : PL_strdup(static_cast<const char*>(arg));
}

// The user's own NSS database, where certificates and registered tokens live by default.
fs::path userNssDir()
{
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : ".") / ".pki" / "nssdb";
}

// An NSS context on `nssDir` (read-only), or with no database when it is empty.
NSSInitContext* startNss(const fs::path& nssDir)
{
    std::error_code ec;
    const std::string dir = nssDir.empty() ? std::string() : core::pathText(fs::absolute(nssDir, ec).lexically_normal());
    const PRUint32 flags = NSS_INIT_READONLY | NSS_INIT_NOROOTINIT | NSS_INIT_OPTIMIZESPACE |
                           (dir.empty() ? NSS_INIT_NOCERTDB | NSS_INIT_NOMODDB | NSS_INIT_FORCEOPEN : 0);
    NSSInitContext* context = NSS_InitContext(dir.empty() ? "" : ("sql:" + dir).c_str(), "", "", "", nullptr, flags);
    if (!context)
        fail(dir.empty() ? "NSS could not be started: " + nssError() : "the NSS database " + dir + " cannot be opened: " + nssError());
    for (long cipher : {PKCS12_RC2_CBC_40, PKCS12_RC2_CBC_128, PKCS12_RC4_40, PKCS12_RC4_128, PKCS12_DES_56,
                        PKCS12_DES_EDE3_168, PKCS12_AES_CBC_128, PKCS12_AES_CBC_192, PKCS12_AES_CBC_256})
        SEC_PKCS12EnableCipher(cipher, PR_TRUE);
    PORT_SetUCS2_ASCIIConversionFunction([](PRBool toUnicode, unsigned char* in, unsigned int inLen, unsigned char* out,
                                            unsigned int maxOut, unsigned int* outLen, PRBool) {
        return PORT_UCS2_UTF8Conversion(toUnicode, in, inLen, out, maxOut, outLen);
    });
    return context;
}

// The certificate's name for people: its common name, else its whole subject.
std::string commonName(CERTCertificate* cert)
{
    char* cn = CERT_GetCommonName(&cert->subject);
    std::string name = cn ? cn : (cert->subjectName ? cert->subjectName : "");
    PORT_Free(cn);
    return name;
}

void checkValidNow(CERTCertificate* cert, const std::string& what)
{
    switch (CERT_CheckCertValidTimes(cert, PR_Now(), PR_FALSE)) {
    case secCertTimeExpired:
        fail(what + " has expired; it can no longer sign");
    case secCertTimeNotValidYet:
        fail(what + " is not valid yet; it cannot sign before its start date");
    default:
        break;
    }
}

// Finds the certificate with a private key among `certs`; checks its validity.
CERTCertificate* signingCertificate(CERTCertList* certs, const std::string& what, std::string& signer, void* pin)
{
    for (CERTCertListNode* n = CERT_LIST_HEAD(certs); !CERT_LIST_END(n, certs); n = CERT_LIST_NEXT(n)) {
        SECKEYPrivateKey* key = PK11_FindKeyByAnyCert(n->cert, pin);
        if (!key)
            continue;
        SECKEY_DestroyPrivateKey(key);
        checkValidNow(n->cert, what);
        signer = commonName(n->cert);
        return CERT_DupCertificate(n->cert);
    }
    fail(what + " holds no private key for its certificate; it cannot sign");
}

std::string itemBytes(const SECItem& item)
{
    return std::string(reinterpret_cast<const char*>(item.data), item.len);
}

std::string oid(SECOidTag tag)
{
    const SECOidData* data = SECOID_FindOIDByTag(tag);
    return der(0x06, data ? itemBytes(data->oid) : std::string());
}

// The certificate and its chain up to (not with) its root, as far as NSS finds it.
std::string certificateChain(CERTCertificate* cert)
{
    CERTCertificateList* chain = CERT_CertChainFromCert(cert, certUsageEmailSigner, PR_FALSE);
    if (!chain)
        return itemBytes(cert->derCert);
    std::string out;
    for (int i = 0; i < chain->len; ++i)
        out += itemBytes(chain->certs[i]);
    CERT_DestroyCertificateList(chain);
    return out;
}

// The key as OpenSSL takes it. NSS gives a key out only wrapped (its attributes are sensitive):
// as an encrypted PKCS#8 under a throwaway random password, which OpenSSL then undoes. Null
// when NSS will not give the key out.
std::unique_ptr<SoftwareKey> inSoftware(SECKEYPrivateKey* key, void* pin)
{
    unsigned char random[24];
    if (PK11_GenerateRandom(random, sizeof random) != SECSuccess)
        return nullptr;
    std::string password = QByteArray(reinterpret_cast<const char*>(random), sizeof random).toBase64().toStdString();
    std::fill(std::begin(random), std::end(random), 0);
    SECItem passwordItem{siBuffer, reinterpret_cast<unsigned char*>(password.data()), static_cast<unsigned>(password.size())};
    // One PBKDF2 iteration: the wrapping never leaves the process and lives for a moment.
    SECKEYEncryptedPrivateKeyInfo* wrapped = PK11_ExportEncryptedPrivKeyInfoV2(
        nullptr, SEC_OID_PKCS5_PBES2, SEC_OID_AES_256_CBC, SEC_OID_HMAC_SHA256, &passwordItem, key, 1, pin);
    SECItem* encoded = wrapped ? SEC_ASN1EncodeItem(nullptr, nullptr, wrapped, SECKEY_EncryptedPrivateKeyInfoTemplate) : nullptr;
    if (wrapped)
        SECKEY_DestroyEncryptedPrivateKeyInfo(wrapped, PR_TRUE);
    std::unique_ptr<SoftwareKey> held;
    if (encoded) {
        held = SoftwareKey::fromEncryptedPkcs8({reinterpret_cast<const char*>(encoded->data), encoded->len}, password);
        SECITEM_ZfreeItem(encoded, PR_TRUE);
    }
    std::fill(password.begin(), password.end(), '\0');
    return held;
}

std::string signingError(const PdfSigner::Key& key)
{
    return key.softwareKey ? "OpenSSL could not sign with the key" : nssError();
}

// The signature value of `data` (SHA-256) with the signer's key; empty when it fails.
std::string signatureValue(const PdfSigner::Key& key, std::string_view data)
{
    if (key.softwareKey)
        return key.softwareKey->sign(data);
    SECItem value{siBuffer, nullptr, 0};
    std::string out;
    if (SEC_SignData(&value, reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()),
                     key.privateKey, key.signatureTag) == SECSuccess)
        out = itemBytes(value);
    SECITEM_FreeItem(&value, PR_FALSE);
    return out;
}

// The signer's private key, found once. A key NSS holds in software (its own database, the
// private one of a .p12) is in the process's memory already: OpenSSL signs with it, more than
// twice as fast as NSS, and without NSS reading it back from its database and decrypting it at
// every use. A key on a token stays there, and so does one NSS will not give out. The key's
// kind and the signature's unchanging parts go into `key`; a first signature shows that the
// key signs.
void holdPrivateKey(PdfSigner::Key& key, const std::string& what)
{
    void* pin = const_cast<char*>(key.pin.c_str());
    SECKEYPrivateKey* found = PK11_FindKeyByAnyCert(key.cert, pin);
    if (!found)
        fail(what + " has no private key here; it cannot sign");
    key.privateKey = found;
    const KeyType type = SECKEY_GetPrivateKeyType(found);
    if (type != rsaKey && type != ecKey)
        fail(what + " has a key of a kind that cannot sign here (RSA and elliptic-curve keys can)");
    const SECMODModule* module = PK11_GetModule(found->pkcs11Slot);
    if (module && module->internal)
        key.softwareKey = inSoftware(found, pin);
    key.signatureTag = SEC_GetSignatureAlgorithmOidTag(type, SEC_OID_SHA256);
    // RSA as NSS and most signers name it (the digest is named apart); ECDSA with its digest.
    key.cms.signatureAlgorithm = type == rsaKey ? der(0x30, oid(SEC_OID_PKCS1_RSA_ENCRYPTION) + der(0x05, {}))
                                                : der(0x30, oid(key.signatureTag));
    key.cms.signerId = der(0x30, itemBytes(key.cert->derIssuer) + der(0x02, itemBytes(key.cert->serialNumber)));
    key.cms.certificates = certificateChain(key.cert);
    if (signatureValue(key, "certwright").empty())
        fail(what + " cannot sign with its private key: " + signingError(key));
}

// A PKCS#12 password as the format wants it: UCS-2, big-endian, with a closing zero.
std::vector<unsigned char> pkcs12Password(const std::string& utf8)
{
    std::vector<unsigned char> out;
    for (char16_t c : QString::fromStdString(utf8).toStdU16String()) {
        out.push_back(static_cast<unsigned char>(c >> 8));
        out.push_back(static_cast<unsigned char>(c & 0xFF));
    }
    out.insert(out.end(), {0, 0});
    return out;
}

} // namespace

PdfSigner::PdfSigner(std::unique_ptr<Key> key) : m_key(std::move(key)) {}

PdfSigner::~PdfSigner() = default;

std::unique_ptr<PdfSigner> PdfSigner::fromPkcs12(const fs::path& file, const std::string& password)
{
    const std::string what = core::pathText(file);
    QFile in(QString::fromStdString(what));
    if (!in.open(QIODevice::ReadOnly))
        fail(what + " cannot be read (" + in.errorString().toStdString() + ")");
    QByteArray bytes = in.readAll();

    auto key = std::make_unique<Key>();
    key->context = startNss({});
    key->privateDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/certwright-key-XXXXXX"));
    if (!key->privateDir->isValid())
        fail("no private temporary folder for the certificate's key could be made");
    // Named after its folder, which no other signer of any process shares.
    const std::string token = "Certwright " + QDir(key->privateDir->path()).dirName().toStdString();
    const std::string tokenConfig = "configdir='sql:" + key->privateDir->path().toStdString() + "' tokenDescription='" + token + "'";
    key->privateSlot = SECMOD_OpenUserDB(tokenConfig.c_str());
    if (!key->privateSlot)
        fail("the private key database could not be opened: " + nssError());
    if (PK11_NeedUserInit(key->privateSlot))
        PK11_InitPin(key->privateSlot, "", "");

    std::vector<unsigned char> unicode = pkcs12Password(password);
    SECItem passwordItem{siBuffer, unicode.data(), static_cast<unsigned>(unicode.size())};
    SEC_PKCS12DecoderContext* decoder =
        SEC_PKCS12DecoderStart(&passwordItem, key->privateSlot, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!decoder)
        fail(what + " cannot be read: " + nssError());
    const auto finish = [&] { SEC_PKCS12DecoderFinish(decoder); };
    if (SEC_PKCS12DecoderUpdate(decoder, reinterpret_cast<unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size())) != SECSuccess ||
        SEC_PKCS12DecoderVerify(decoder) != SECSuccess) {
        const bool badPassword = PR_GetError() == SEC_ERROR_BAD_PASSWORD || PR_GetError() == SEC_ERROR_PKCS12_PRIVACY_PASSWORD_INCORRECT;
        const std::string reason = nssError();
        finish();
        fail(badPassword ? "the password of " + what + " is wrong"
                                             : what + " is not a PKCS#12 certificate file (" + reason + ")");
    }
    // A certificate without a friendly name in the file gets one made from its subject.
    const SECStatus imported = SEC_PKCS12DecoderValidateBags(decoder, [](SECItem* old, PRBool* cancel, void* cert) -> SECItem* {
        *cancel = PR_FALSE;
        if ((old && old->len) || !cert)
            return nullptr;
        char* nick = CERT_MakeCANickname(static_cast<CERTCertificate*>(cert));
        if (!nick)
            return nullptr;
        // NSS reads the name as a C string: the closing zero stays after the counted bytes.
        const unsigned length = static_cast<unsigned>(PORT_Strlen(nick));
        SECItem* made = SECITEM_AllocItem(nullptr, nullptr, length + 1);
        if (made) {
            PORT_Memcpy(made->data, nick, length + 1);
            made->len = length;
        }
        PORT_Free(nick);
        return made;
    });
    if (imported != SECSuccess || SEC_PKCS12DecoderImportBags(decoder) != SECSuccess) {
        const std::string reason = nssError();
        finish();
        fail(what + " could not be loaded: " + reason);
    }
    finish();
    bytes.fill(0);

    CERTCertList* certs = PK11_ListCertsInSlot(key->privateSlot);
    std::string signer;
    try {
        key->cert = certs ? signingCertificate(certs, "the certificate in " + what, signer, nullptr) : nullptr;
    } catch (...) {
        if (certs)
            CERT_DestroyCertList(certs);
        throw;
    }
    if (certs)
        CERT_DestroyCertList(certs);
    if (!key->cert)
        fail(what + " holds no certificate");
    holdPrivateKey(*key, "the certificate in " + what);
    std::unique_ptr<PdfSigner> made(new PdfSigner(std::move(key)));
    made->m_signerName = signer;
    return made;
}

std::unique_ptr<PdfSigner> PdfSigner::fromNssCertificate(const std::string& nickname, const fs::path& nssDir,
                                                         const std::string& pin)
{
    const fs::path dir = nssDir.empty() ? userNssDir() : nssDir;
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        fail("there is no NSS database in " + core::pathText(dir));
    auto key = std::make_unique<Key>();
    key->context = startNss(dir);
    const std::string what = "the certificate \"" + nickname + "\"";
    // A certificate on a token is named "token:nickname": the token must be there, and its
    // PIN opens it (its objects may be private until then). Any other is the database's own,
    // whose keys its password guards, if it has one.
    const auto colon = nickname.find(':');
    const bool onToken = colon != std::string::npos;
    const std::string token = onToken ? nickname.substr(0, colon) : std::string();
    const std::string database = "the NSS database " + core::pathText(dir);
    PK11SlotInfo* slot = onToken ? PK11_FindSlotByName(token.c_str()) : PK11_GetInternalKeySlot();
    if (!slot || !PK11_IsPresent(slot)) {
        if (slot)
            PK11_FreeSlot(slot);
        fail(onToken ? "the token \"" + token + "\" is not there; is it plugged in and registered in " + core::pathText(dir) + "?"
                     : database + " has no key store");
    }
    SECStatus in = SECSuccess;
    if (PK11_NeedLogin(slot) && !PK11_IsLoggedIn(slot, nullptr)) {
        PK11_SetPasswordFunc(givenPin);
        in = PK11_Authenticate(slot, PR_TRUE, const_cast<char*>(pin.c_str()));
    }
    PK11_FreeSlot(slot);
    if (in != SECSuccess && onToken)
        fail(pin.empty() ? "the token \"" + token + "\" needs its PIN" : "the PIN of the token \"" + token + "\" is wrong");
    if (in != SECSuccess)
        fail(pin.empty() ? database + " needs its password" : "the password of " + database + " is wrong");
    CERTCertificate* cert = CERT_FindCertByNickname(CERT_GetDefaultCertDB(), nickname.c_str());
    if (!cert)
        fail(what + " is not in " + database + (onToken ? " or on its token" : ""));
    key->cert = cert;
    key->pin = pin;
    checkValidNow(cert, what);
    const std::string signer = commonName(cert);
    holdPrivateKey(*key, what);
    std::unique_ptr<PdfSigner> made(new PdfSigner(std::move(key)));
    made->m_signerName = signer;
    return made;
}

QByteArray PdfSigner::sign(const QByteArray& pdf, const SignaturePlace& place, const std::string& openPassword) const
{
    return signOpened(pdf, place, openPassword, {});
}

QByteArray PdfSigner::sign(const ProtectedPdf& pdf, const SignaturePlace& place) const
{
    return signOpened(pdf.bytes, place, {}, pdf.fileKey);
}

QByteArray PdfSigner::signOpened(const QByteArray& pdf, const SignaturePlace& place, const std::string& password,
                                 const std::string& fileKey) const
{
    SignatureLook look;
    look.page = place.page;
    look.box = place.box;
    look.fontSize = place.fontSize;
    const QDateTime now = QDateTime::currentDateTime();
    look.lines[0] = "Digitally signed by " + m_signerName;
    look.lines[1] = "Date: " + now.toString(QStringLiteral("yyyy.MM.dd HH:mm:ss t")).toStdString();
    look.name = m_signerName;
    look.reason = "Form 16A certificate";
    look.location = place.location;
    const int offset = now.offsetFromUtc() / 60;
    look.when = now.toString(QStringLiteral("'D:'yyyyMMddHHmmss")).toStdString() + (offset < 0 ? "-" : "+") +
                QStringLiteral("%1'%2'").arg(std::abs(offset) / 60, 2, 10, QChar('0')).arg(std::abs(offset) % 60, 2, 10, QChar('0')).toStdString();
    return appendSignature(pdf, look, {password, fileKey},
                           [&](std::string_view before, std::string_view after) { return cms(before, after); });
}

// A detached CMS signature (SHA-256, signing time, the certificate and its chain) over the
// bytes `before` and `after` the room left for it.
QByteArray PdfSigner::cms(std::string_view before, std::string_view after) const
{
    unsigned char digest[32];
    unsigned length = 0;
    PK11Context* sha256 = PK11_CreateDigestContext(SEC_OID_SHA256);
    const bool hashed = sha256 && PK11_DigestBegin(sha256) == SECSuccess &&
                        PK11_DigestOp(sha256, reinterpret_cast<const unsigned char*>(before.data()), static_cast<unsigned>(before.size())) == SECSuccess &&
                        PK11_DigestOp(sha256, reinterpret_cast<const unsigned char*>(after.data()), static_cast<unsigned>(after.size())) == SECSuccess &&
                        PK11_DigestFinal(sha256, digest, &length, sizeof digest) == SECSuccess && length == sizeof digest;
    if (sha256)
        PK11_DestroyContext(sha256, PR_TRUE);
    if (!hashed)
        fail("the document could not be hashed: " + nssError());
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    const std::string attributes = cmsSignedAttributes({reinterpret_cast<const char*>(digest), sizeof digest}, now.count());
    const std::string value = signatureValue(*m_key, attributes);
    if (value.empty())
        fail("the PDF could not be signed with the certificate of " + m_signerName + ": " + signingError(*m_key));
    const std::string signedData = cmsSignedData(m_key->cms, attributes, value);
    return QByteArray(signedData.data(), static_cast<qsizetype>(signedData.size()));
}

} // namespace cw::printing
