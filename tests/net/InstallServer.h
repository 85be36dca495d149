#pragma once
// The Wine suites' view of the install server fixture (tests/fixture/install_server.py), which
// ctest starts before the suite: where it listens, the folder it serves, and its control paths.

#include <string>
#include <string_view>

class TInstallServer {
 public:
  // Reads the port and the served folder that ctest hands over in the environment.
  TInstallServer();

  int Port() const { return Port_; }
  // http://127.0.0.1:<port>/program/manager/install/
  std::string BaseURL() const;
  // The served folder as a Windows path, ending in a backslash.
  const std::string& Root() const { return Root_; }
  // Writes a file (Bytes as they are) at a relative path under the served folder.
  void Put(const std::string& RelativePath, std::string_view Bytes) const;
  // Serves every file below Folder (ending in a backslash) as it stands: a payload as the
  // publishing tool left it.
  void PutPublished(const std::string& Folder, const std::string& Below = "") const;

  // Sets the faults of a relative path, e.g. Fault("a.bin", "status=404").
  void Fault(std::string_view RelativePath, std::string_view Settings) const;
  // Forgets all faults and the request log.
  void Clear() const;
  // The request log, one "<method> <target> <status>" line each.
  std::string Log() const;

  // A plain HTTP/1.0 GET to the server; the whole answer, headers included ("" on failure).
  std::string Get(std::string_view Target) const;

 private:
  int Port_ = 0;
  std::string Root_;
};

// How often the server's log shows a GET for this relative path.
int Requests(const std::string& Log, const std::string& RelativePath);

// Percent-encodes every byte outside the unreserved set, for a control query.
std::string PercentEncode(std::string_view Bytes);
