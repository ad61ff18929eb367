// Starting programs and asking the desktop to open folders, web addresses
// and mail addresses.
//
// The public calls check what they are given and refuse empty or malformed
// input with kInvalidParameter before anything is started; only what passes
// reaches the platform (or, in tests, a recorder: see recorders.h).
//
// Threads: the GUI thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <optional>

#include "os/status.h"

namespace os {

class ProgramStarter {
 public:
  virtual ~ProgramStarter() = default;

  // Starts `program` as a separate process that outlives this one, in
  // `workingDirectory` (empty: this process's current directory), and does not
  // wait for it. `program` is a path, or a bare file name looked for in the
  // working directory, then in this program's own directory, then along PATH.
  // Errors: kInvalidParameter (empty program), kPathNotFound (no such working
  // directory), kFileNotFound (no such program), kAccessDenied (not
  // executable), kBadExeFormat (the system could not start it).
  Status startProgram(const QString& program, const QStringList& arguments = {}, const QString& workingDirectory = {});

  // Shows the existing folder `path` in the desktop's file manager. Errors:
  // kInvalidParameter (empty), kPathNotFound (no such folder),
  // kNoAssociation (nothing showed it).
  Status openFolder(const QString& path);

  // Opens a web address in the browser: "www.norvadel.com" (http is assumed)
  // or an http or https address. Other kinds of address ("file:",
  // "javascript:") are refused with kInvalidParameter, as is an address
  // without a host. kNoAssociation: no browser opened it.
  Status openWebAddress(const QString& address);

  // Starts a new message to `address` in the desktop's mail program. Takes
  // "name@host", with or without "mailto:" in front (blanks after the colon
  // are ignored), and several addresses separated by "," or ";". Anything
  // that is not an address, or an address that would add headers or
  // attachments to the message, is refused with kInvalidParameter.
  // kNoAssociation: no mail program opened it.
  Status openMailTo(const QString& address);

 protected:
  // What the platform is asked once the input passed the checks: `program` as
  // given (not yet looked for) and an existing working directory (absolute, or
  // empty for the current directory).
  virtual Status launch(const QString& program, const QStringList& arguments, const QString& workingDirectory) = 0;
  // A folder (file: address), web or mailto: address, already checked.
  virtual Status openUrl(const QUrl& url) = 0;
};

// The starter of this platform: QProcess and the desktop's own handlers.
std::unique_ptr<ProgramStarter> createProgramStarter();

// The address openWebAddress() and openMailTo() would open, or nothing when
// they would refuse `text`.
std::optional<QUrl> webAddressUrl(const QString& text);
std::optional<QUrl> mailToUrl(const QString& text);

}  // namespace os
