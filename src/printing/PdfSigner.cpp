// NSS first: Qt's "slots" keyword would clash with its headers.
#include <cert.h>
#include <nss.h>
#include <p12.h>
#include <p12plcy.h>
#include <pk11pub.h>
#include <prerror.h>
#include <secerr.h>
#include <secmod.h>

#include "printing/PdfSigner.h"

#include "core/PathText.h"

#include <poppler/qt6/poppler-form.h>
#include <poppler/qt6/poppler-qt6.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <stdexcept>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace cw::printing {

struct PdfSigner::Key {
    std::string nickname;      // as the signer finds it: "token:name"
    std::string pin;           // the token's PIN, empty for the private database
    PK11SlotInfo* privateSlot = nullptr;
    std::unique_ptr<QTemporaryDir> privateDir;

    ~Key()
    {
        if (privateSlot) {
            SECMOD_CloseUserDB(privateSlot);
            PK11_FreeSlot(privateSlot);
        }
    }
};

namespace {

std::mutex nssMutex;

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

#ifndef _WIN32
// The signing library shuts NSS down at exit and complains on standard error that objects are
// still in use (its own). The process is ending and our databases are closed: keep that
// message from the user.
void quietNssTeardown()
{
    std::fflush(stderr);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0)
        dup2(null, 2);
}
#endif

// The user's own NSS database, where certificates and registered tokens live by default.
fs::path userNssDir()
{
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : ".") / ".pki" / "nssdb";
}

// NSS once per process, on `nssDir` (read-only) or with no database. It cannot be started again
// on another database: a process that signs with one database keeps it.
void startNss(const fs::path& nssDir)
{
    static std::string startedOn;
    std::error_code ec;
    const std::string dir = nssDir.empty() ? std::string() : core::pathText(fs::absolute(nssDir, ec).lexically_normal());
    if (NSS_IsInitialized()) {
        if (!dir.empty() && dir != startedOn)
            throw std::runtime_error("the NSS database " + dir + " cannot be used while " +
                                     (startedOn.empty() ? std::string("another key") : startedOn) +
                                     " is in use; start the program again to use it");
        return;
    }
    if (!dir.empty()) {
        if (NSS_Initialize(("sql:" + dir).c_str(), "", "", "", NSS_INIT_READONLY) != SECSuccess)
            throw std::runtime_error("the NSS database " + dir + " cannot be opened: " + nssError());
        startedOn = dir;
    } else if (NSS_NoDB_Init(nullptr) != SECSuccess) {
        throw std::runtime_error("NSS could not be started: " + nssError());
    }
    for (long cipher : {PKCS12_RC2_CBC_40, PKCS12_RC2_CBC_128, PKCS12_RC4_40, PKCS12_RC4_128, PKCS12_DES_56,
                        PKCS12_DES_EDE3_168, PKCS12_AES_CBC_128, PKCS12_AES_CBC_192, PKCS12_AES_CBC_256})
        SEC_PKCS12EnableCipher(cipher, PR_TRUE);
    PORT_SetUCS2_ASCIIConversionFunction([](PRBool toUnicode, unsigned char* in, unsigned int inLen, unsigned char* out,
                                            unsigned int maxOut, unsigned int* outLen, PRBool) {
        return PORT_UCS2_UTF8Conversion(toUnicode, in, inLen, out, maxOut, outLen);
    });
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
        throw std::runtime_error(what + " has expired; it can no longer sign");
    case secCertTimeNotValidYet:
        throw std::runtime_error(what + " is not valid yet; it cannot sign before its start date");
    default:
        break;
    }
}

// Finds the certificate with a private key among `certs`; checks its validity.
std::string signingNickname(CERTCertList* certs, const std::string& what, std::string& signer, void* pin)
{
    for (CERTCertListNode* n = CERT_LIST_HEAD(certs); !CERT_LIST_END(n, certs); n = CERT_LIST_NEXT(n)) {
        SECKEYPrivateKey* key = PK11_FindKeyByAnyCert(n->cert, pin);
        if (!key)
            continue;
        SECKEY_DestroyPrivateKey(key);
        checkValidNow(n->cert, what);
        signer = commonName(n->cert);
        return n->cert->nickname ? n->cert->nickname : "";
    }
    throw std::runtime_error(what + " holds no private key for its certificate; it cannot sign");
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

PdfSigner::~PdfSigner()
{
    std::lock_guard lock(nssMutex);
    m_key.reset();
}

std::unique_ptr<PdfSigner> PdfSigner::fromPkcs12(const fs::path& file, const std::string& password)
{
    const std::string what = core::pathText(file);
    QFile in(QString::fromStdString(what));
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error(what + " cannot be read (" + in.errorString().toStdString() + ")");
    QByteArray bytes = in.readAll();

    std::lock_guard lock(nssMutex);
    // The user's database where there is one, so that a window may sign with one of its
    // certificates after a .p12 in the same run; the key goes to a database of its own.
    std::error_code ec;
    startNss(NSS_IsInitialized() || !fs::is_directory(userNssDir(), ec) ? fs::path() : userNssDir());
    auto key = std::make_unique<Key>();
    key->privateDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/certwright-key-XXXXXX"));
    if (!key->privateDir->isValid())
        throw std::runtime_error("no private temporary folder for the certificate's key could be made");
    static std::atomic<int> databases{0};
    const std::string token = "Certwright " + std::to_string(++databases);
    const std::string tokenConfig = "configdir='sql:" + key->privateDir->path().toStdString() + "' tokenDescription='" + token + "'";
    key->privateSlot = SECMOD_OpenUserDB(tokenConfig.c_str());
    if (!key->privateSlot)
        throw std::runtime_error("the private key database could not be opened: " + nssError());
    if (PK11_NeedUserInit(key->privateSlot))
        PK11_InitPin(key->privateSlot, "", "");

    std::vector<unsigned char> unicode = pkcs12Password(password);
    SECItem passwordItem{siBuffer, unicode.data(), static_cast<unsigned>(unicode.size())};
    SEC_PKCS12DecoderContext* decoder =
        SEC_PKCS12DecoderStart(&passwordItem, key->privateSlot, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!decoder)
        throw std::runtime_error(what + " cannot be read: " + nssError());
    const auto finish = [&] { SEC_PKCS12DecoderFinish(decoder); };
    if (SEC_PKCS12DecoderUpdate(decoder, reinterpret_cast<unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size())) != SECSuccess ||
        SEC_PKCS12DecoderVerify(decoder) != SECSuccess) {
        const bool badPassword = PR_GetError() == SEC_ERROR_BAD_PASSWORD || PR_GetError() == SEC_ERROR_PKCS12_PRIVACY_PASSWORD_INCORRECT;
        const std::string reason = nssError();
        finish();
        throw std::runtime_error(badPassword ? "the password of " + what + " is wrong"
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
        throw std::runtime_error(what + " could not be loaded: " + reason);
    }
    finish();
    bytes.fill(0);

    CERTCertList* certs = PK11_ListCertsInSlot(key->privateSlot);
    std::string signer;
    try {
        key->nickname = certs ? signingNickname(certs, "the certificate in " + what, signer, nullptr) : "";
    } catch (...) {
        if (certs)
            CERT_DestroyCertList(certs);
        throw;
    }
    if (certs)
        CERT_DestroyCertList(certs);
    if (key->nickname.empty())
        throw std::runtime_error(what + " holds no certificate");
    std::unique_ptr<PdfSigner> made(new PdfSigner(std::move(key)));
    made->m_signerName = signer;
    return made;
}

std::unique_ptr<PdfSigner> PdfSigner::fromNssCertificate(const std::string& nickname, const fs::path& nssDir,
                                                         const std::string& pin)
{
    const fs::path dir = nssDir.empty() ? userNssDir() : nssDir;
    std::lock_guard lock(nssMutex);
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw std::runtime_error("there is no NSS database in " + core::pathText(dir));
    startNss(dir);
    const std::string what = "the certificate \"" + nickname + "\"";
    // A certificate on a token is named "token:nickname": the token must be there, and its
    // PIN opens it (its objects may be private until then).
    const auto colon = nickname.find(':');
    if (colon != std::string::npos) {
        const std::string token = nickname.substr(0, colon);
        PK11SlotInfo* slot = PK11_FindSlotByName(token.c_str());
        if (!slot || !PK11_IsPresent(slot)) {
            if (slot)
                PK11_FreeSlot(slot);
            throw std::runtime_error("the token \"" + token + "\" is not there; is it plugged in and registered in " +
                                     core::pathText(dir) + "?");
        }
        SECStatus in = SECSuccess;
        if (PK11_NeedLogin(slot) && !PK11_IsLoggedIn(slot, nullptr)) {
            PK11_SetPasswordFunc(givenPin);
            in = PK11_Authenticate(slot, PR_TRUE, const_cast<char*>(pin.c_str()));
        }
        PK11_FreeSlot(slot);
        if (in != SECSuccess)
            throw std::runtime_error(pin.empty() ? "the token \"" + token + "\" needs its PIN"
                                                 : "the PIN of the token \"" + token + "\" is wrong");
    }
    CERTCertificate* cert = CERT_FindCertByNickname(CERT_GetDefaultCertDB(), nickname.c_str());
    if (!cert)
        throw std::runtime_error(what + " is not in the NSS database " + core::pathText(dir) +
                                 (colon == std::string::npos ? "" : " or on its token"));
    auto key = std::make_unique<Key>();
    key->nickname = cert->nickname ? cert->nickname : nickname;
    key->pin = pin;
    std::string signer;
    try {
        checkValidNow(cert, what);
        signer = commonName(cert);
        SECKEYPrivateKey* privateKey = PK11_FindKeyByAnyCert(cert, const_cast<char*>(pin.c_str()));
        if (!privateKey)
            throw std::runtime_error(what + " has no private key here; it cannot sign");
        SECKEY_DestroyPrivateKey(privateKey);
    } catch (...) {
        CERT_DestroyCertificate(cert);
        throw;
    }
    CERT_DestroyCertificate(cert);
    std::unique_ptr<PdfSigner> made(new PdfSigner(std::move(key)));
    made->m_signerName = signer;
    return made;
}

void PdfSigner::sign(const QByteArray& pdf, const fs::path& output, const SignaturePlace& place,
                     const std::string& ownerPassword, const std::string& openPassword) const
{
    // The signing library sets itself up (NSS, its exit handler) at its first signature, with
    // no lock of its own: the first one is made alone; documents are independent after that.
    static std::atomic<bool> warmedUp{false};
    std::unique_lock lock(nssMutex, std::defer_lock);
    if (!warmedUp)
        lock.lock();
    std::unique_ptr<Poppler::Document> doc =
        Poppler::Document::loadFromData(pdf, QByteArray::fromStdString(ownerPassword), QByteArray::fromStdString(openPassword));
    if (!doc || doc->isLocked())
        throw std::runtime_error(core::pathText(output) + ": the PDF to sign could not be read");
    std::unique_ptr<Poppler::PDFConverter> converter = doc->pdfConverter();
    converter->setOutputFileName(QString::fromStdString(core::pathText(output)));
    Poppler::PDFConverter::NewSignatureData data;
    data.setCertNickname(QString::fromStdString(m_key->nickname));
    data.setPassword(QString::fromStdString(m_key->pin));
    data.setPage(place.page);
    data.setBoundingRectangle(place.box);
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd HH:mm:ss t"));
    data.setSignatureText(QStringLiteral("Digitally signed by %1\nDate: %2").arg(QString::fromStdString(m_signerName), when));
    data.setReason(QStringLiteral("Form 16A certificate"));
    data.setLocation(QString::fromStdString(place.location));
    data.setFontSize(place.fontSize);
    data.setFontColor(Qt::black);
    data.setBorderColor(Qt::black);
    data.setBorderWidth(0.5);
    data.setBackgroundColor(QColor(255, 255, 255));
    data.setDocumentOwnerPassword(QByteArray::fromStdString(ownerPassword));
    data.setDocumentUserPassword(QByteArray::fromStdString(openPassword));
    const bool signedOk = converter->sign(data);
#ifndef _WIN32
    // The library has registered its NSS shutdown at its first signature; this runs before it.
    static std::once_flag quiet;
    std::call_once(quiet, [] { std::atexit(quietNssTeardown); });
#endif
    warmedUp = true;
    if (!signedOk)
        throw std::runtime_error(core::pathText(output) + ": the PDF could not be signed with the certificate of " + m_signerName);
}

} // namespace cw::printing
