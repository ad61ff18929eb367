// The session context: the record the shell passes to every module.
//
// TLinkSection is exchanged as raw bytes between the shell and the module
// libraries, so its layout is binding: 80 bytes, twenty 4-byte slots.
//
//   offset  field            slot
//   0       LoginName        string handle
//   4       UserName         string handle
//   8       Reserved8        string handle (always empty)
//   12      CompanyCode      string handle: company number in decimal
//   16      CompanyName      string handle
//   20      Language         int32: 1 English, 2 French
//   24      LangSuffix       short string: length byte + up to 3 characters ("\2en")
//   28      PrinterIndex     string handle: decimal index of the printer
//   32      Reserved32       string handle (always empty)
//   36      CustomerId       string handle
//   40      ProgramDir       string handle
//   44      DataDir          string handle: the data root
//   48      Reserved48       string handle (always empty)
//   52      Reserved52       string handle (always empty)
//   56      Reserved56       bool in the first byte, 3 filler bytes (always false)
//   60      Reserved60       string handle (ignored by modules)
//   64      SessionId        int32: the shell's session slot
//   68      Reserved68       4-byte pointer slot (ignored; 0)
//   72      UserDetail       int32
//   76      LaunchQualifier  string handle
//
// String slots are handles into the shared runtime's reference-counted pool
// (shared/runtime/string_pool.h); 0 is the empty string. A record copied
// byte for byte shares its strings without counting them: retain() counts a
// copy, release() lets it go. SessionContext does both for you.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" {

struct TLinkSection {
  uint32_t LoginName;
  uint32_t UserName;
  uint32_t Reserved8;
  uint32_t CompanyCode;
  uint32_t CompanyName;
  int32_t Language;
  unsigned char LangSuffix[4];
  uint32_t PrinterIndex;
  uint32_t Reserved32;
  uint32_t CustomerId;
  uint32_t ProgramDir;
  uint32_t DataDir;
  uint32_t Reserved48;
  uint32_t Reserved52;
  unsigned char Reserved56[4];
  uint32_t Reserved60;
  int32_t SessionId;
  uint32_t Reserved68;
  int32_t UserDetail;
  uint32_t LaunchQualifier;
};

}  // extern "C"

static_assert(sizeof(TLinkSection) == 80, "the session record is 80 bytes");
static_assert(offsetof(TLinkSection, CompanyCode) == 12);
static_assert(offsetof(TLinkSection, Language) == 20);
static_assert(offsetof(TLinkSection, LangSuffix) == 24);
static_assert(offsetof(TLinkSection, PrinterIndex) == 28);
static_assert(offsetof(TLinkSection, DataDir) == 44);
static_assert(offsetof(TLinkSection, Reserved56) == 56);
static_assert(offsetof(TLinkSection, SessionId) == 64);
static_assert(offsetof(TLinkSection, UserDetail) == 72);
static_assert(offsetof(TLinkSection, LaunchQualifier) == 76);

namespace shared {

// The string slots of the record, in order.
inline constexpr size_t kStringSlots[] = {0, 4, 8, 12, 16, 28, 32, 36, 40, 44, 48, 52, 60, 76};

// Counts one more reference on every string of `link`.
void retain(const TLinkSection& link);
// Drops one reference on every string of `link` and clears it.
void release(TLinkSection& link);

// A string slot's text / a new string for a slot.
QString text(uint32_t handle);
uint32_t makeString(const QString& text);

// The short string LangSuffix: its characters (at most 3).
QString langSuffix(const TLinkSection& link);
void setLangSuffix(TLinkSection& link, const QString& suffix);

// An owned copy of a record: counted on construction, released when it goes.
class SessionContext {
 public:
  SessionContext();
  // A counted copy of `link`.
  explicit SessionContext(const TLinkSection& link);
  SessionContext(const SessionContext& other);
  SessionContext& operator=(const SessionContext& other);
  ~SessionContext();

  // The record, for passing on by value (the receiver counts its own copy).
  const TLinkSection& record() const { return link_; }
  // Replaces the whole record with a counted copy of `link`.
  void assign(const TLinkSection& link);
  void clear();

  QString loginName() const { return text(link_.LoginName); }
  QString userName() const { return text(link_.UserName); }
  QString companyCode() const { return text(link_.CompanyCode); }
  QString companyName() const { return text(link_.CompanyName); }
  int language() const { return link_.Language; }
  QString langSuffix() const { return shared::langSuffix(link_); }
  QString printerIndex() const { return text(link_.PrinterIndex); }
  QString customerId() const { return text(link_.CustomerId); }
  QString programDir() const { return text(link_.ProgramDir); }
  QString dataDir() const { return text(link_.DataDir); }
  int sessionId() const { return link_.SessionId; }
  int userDetail() const { return link_.UserDetail; }
  QString launchQualifier() const { return text(link_.LaunchQualifier); }

  void setLoginName(const QString& v) { set(link_.LoginName, v); }
  void setUserName(const QString& v) { set(link_.UserName, v); }
  void setCompanyCode(const QString& v) { set(link_.CompanyCode, v); }
  void setCompanyName(const QString& v) { set(link_.CompanyName, v); }
  void setLanguage(int v) { link_.Language = v; }
  void setLangSuffix(const QString& v) { shared::setLangSuffix(link_, v); }
  void setPrinterIndex(const QString& v) { set(link_.PrinterIndex, v); }
  void setCustomerId(const QString& v) { set(link_.CustomerId, v); }
  void setProgramDir(const QString& v) { set(link_.ProgramDir, v); }
  void setDataDir(const QString& v) { set(link_.DataDir, v); }
  void setSessionId(int v) { link_.SessionId = v; }
  void setUserDetail(int v) { link_.UserDetail = v; }
  void setLaunchQualifier(const QString& v) { set(link_.LaunchQualifier, v); }

  // The company's database directory: the data root immediately followed by
  // the company number.
  QString companyDirectory() const { return dataDir() + companyCode(); }

 private:
  static void set(uint32_t& slot, const QString& value);
  TLinkSection link_{};
};

}  // namespace shared
