#pragma once
// How a Mach-O program is signed, read from the code signature its file holds:
// macOS ends an unsigned Arm program at start, and notarization takes only one
// signed with a certificate, with the hardened runtime and a secure time-stamp.

#include <string>

#include "checks/program_kind.h"

namespace tovren {

struct Signature {
  enum class Kind { none, adHoc, certificate } kind = Kind::none;
  std::string signer;  // the certificate's common name; empty where it cannot be read
  bool hardenedRuntime = false, timeStamp = false;

  // E.g. "unsigned", "signed ad hoc", or "signed by "Developer ID Application:
  // Acme (ABCDE12345)" with the hardened runtime and a secure time-stamp".
  std::string description() const;
  // Whether notarization takes it: a certificate's, with both.
  bool notarizable() const {
    return kind == Kind::certificate && !signer.empty() && hardenedRuntime && timeStamp;
  }
};

// The signature of a thin Mach-O program, from its LC_CODE_SIGNATURE: its code
// directory's flags, and the CMS signature beside it, whose signer's certificate
// and unsigned attributes OpenSSL reads. Raises a std::runtime_error naming the
// damage where the program's load commands cannot be read.
Signature signatureOf(ProgramBytes slice);

}  // namespace tovren
