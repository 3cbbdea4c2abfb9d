#include "checks/code_signature.h"

#include <openssl/cms.h>
#include <openssl/x509.h>

#include <memory>

namespace tovren {

namespace {

constexpr std::uint64_t superBlob = 0xFADE0CC0, codeDirectory = 0xFADE0C02,
                        blobWrapper = 0xFADE0B01;
constexpr std::uint64_t codeDirectorySlot = 0, cmsSlot = 0x10000;
constexpr std::uint64_t runtimeFlag = 0x10000;

std::uint64_t big(ProgramBytes bytes, std::size_t at) { return number(bytes, at, 4, true); }

// The common name of the certificate that signed `cms`, and whether its signer
// carries a time-stamp token; an empty name where the signature cannot be read.
void readCms(ProgramBytes cms, Signature& signature) {
  const unsigned char* at = cms.data();
  std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)> info(
      d2i_CMS_ContentInfo(nullptr, &at, static_cast<long>(cms.size())), &CMS_ContentInfo_free);
  if (!info) return;
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(info.get());
  CMS_SignerInfo* signer = signers ? sk_CMS_SignerInfo_value(signers, 0) : nullptr;
  if (!signer) return;
  signature.timeStamp =
      CMS_unsigned_get_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, -1) >= 0;
  auto freeCertificates = [](STACK_OF(X509) * stack) { sk_X509_pop_free(stack, X509_free); };
  std::unique_ptr<STACK_OF(X509), decltype(freeCertificates)> certificates(
      CMS_get1_certs(info.get()), freeCertificates);
  for (int i = 0; certificates && i < sk_X509_num(certificates.get()); ++i) {
    X509* certificate = sk_X509_value(certificates.get(), i);
    if (CMS_SignerInfo_cert_cmp(signer, certificate) != 0) continue;
    X509_NAME* subject = X509_get_subject_name(certificate);
    int entry = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    unsigned char* name = nullptr;
    int size = entry < 0
                   ? -1
                   : ASN1_STRING_to_UTF8(
                         &name, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, entry)));
    if (size > 0)
      signature.signer.assign(reinterpret_cast<char*>(name), static_cast<std::size_t>(size));
    OPENSSL_free(name);
  }
}

}  // namespace

std::string Signature::description() const {
  if (kind == Kind::none) return "unsigned";
  if (kind == Kind::adHoc)
    return std::string("signed ad hoc") + (hardenedRuntime ? " with the hardened runtime" : "");
  if (signer.empty()) return "signed, but its certificate cannot be read";
  return "signed by \"" + signer + "\" " + (hardenedRuntime ? "with" : "without") +
         " the hardened runtime and " + (timeStamp ? "with" : "without") + " a secure time-stamp";
}

Signature signatureOf(ProgramBytes slice) {
  Signature signature;
  for (const LoadCommand& command : loadCommands(slice)) {
    if (command.type != codeSignatureCommand) continue;
    std::uint64_t offset = number(command.bytes, 8, 4), size = number(command.bytes, 12, 4);
    if (!within(slice, offset, size)) continue;
    ProgramBytes blob = slice.subspan(offset, size);
    if (big(blob, 0) != superBlob) continue;
    signature.kind = Signature::Kind::adHoc;
    for (std::uint64_t i = 0, count = big(blob, 8); i < count; ++i) {
      std::uint64_t type = big(blob, 12 + 8 * i), at = big(blob, 16 + 8 * i);
      if (at >= blob.size()) continue;
      ProgramBytes item = blob.subspan(at);
      std::uint64_t length = std::min<std::uint64_t>(big(item, 4), item.size());
      if (type == codeDirectorySlot && big(item, 0) == codeDirectory)
        signature.hardenedRuntime = (big(item, 12) & runtimeFlag) != 0;
      if (type == cmsSlot && big(item, 0) == blobWrapper && length > 8) {
        signature.kind = Signature::Kind::certificate;
        readCms(item.subspan(8, length - 8), signature);
      }
    }
  }
  return signature;
}

}  // namespace tovren
