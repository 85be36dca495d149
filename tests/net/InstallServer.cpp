#include "net/InstallServer.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <stdexcept>

#include "win32/TestFiles.h"

namespace {

std::string EnvironmentValue(const char* Name) {
  const char* Value = std::getenv(Name);
  if (!Value || !*Value) throw std::runtime_error(std::string(Name) + " is not set");
  return Value;
}

// A control call must never hang a suite: the server answers at once or the call gives up.
constexpr DWORD kControlTimeoutMs = 10000;

struct TWinsock {
  TWinsock() {
    WSADATA Data;
    WSAStartup(MAKEWORD(2, 2), &Data);
  }
  ~TWinsock() { WSACleanup(); }
};

}  // namespace

TInstallServer::TInstallServer() {
  const std::string PortFile = EnvironmentValue("VELQUOR_INSTALL_SERVER_PORT_FILE");
  Port_ = std::atoi(ReadBytes(PortFile).c_str());
  if (Port_ <= 0) throw std::runtime_error("no port in " + PortFile);
  Root_ = EnvironmentValue("VELQUOR_INSTALL_SERVER_ROOT");
  if (Root_.back() != '\\') Root_ += '\\';
}

std::string TInstallServer::BaseURL() const {
  return "http://127.0.0.1:" + std::to_string(Port_) + "/program/manager/install/";
}

void TInstallServer::Put(const std::string& RelativePath, std::string_view Bytes) const {
  std::string Path = Root_;
  for (char c : RelativePath) {
    if (c == '/' || c == '\\') CreateDirectoryW(AnyLength(Path).c_str(), nullptr);
    Path += c == '/' ? '\\' : c;
  }
  WriteBytes(Path, Bytes);
}

void TInstallServer::PutPublished(const std::string& Folder, const std::string& Below) const {
  WIN32_FIND_DATAA Data;
  const HANDLE Find = FindFirstFileA((Folder + Below + "*").c_str(), &Data);
  if (Find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string Name = Data.cFileName;
    if (Name == "." || Name == "..") continue;
    if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      PutPublished(Folder, Below + Name + "\\");
    else
      Put(Below + Name, ReadBytes(Folder + Below + Name));
  } while (FindNextFileA(Find, &Data));
  FindClose(Find);
}

void TInstallServer::Fault(std::string_view RelativePath, std::string_view Settings) const {
  const std::string Answer =
      Get("/_control/fault?path=" + PercentEncode(RelativePath) + "&" + std::string(Settings));
  if (Answer.find(" 200 ") == std::string::npos)
    throw std::runtime_error("fault not set: " + Answer);
}

void TInstallServer::Clear() const {
  if (Get("/_control/clear").find(" 200 ") == std::string::npos)
    throw std::runtime_error("install server did not clear");
}

std::string TInstallServer::Log() const {
  const std::string Answer = Get("/_control/log");
  const size_t Body = Answer.find("\r\n\r\n");
  return Body == std::string::npos ? std::string() : Answer.substr(Body + 4);
}

std::string TInstallServer::Get(std::string_view Target) const {
  static TWinsock Winsock;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return {};
  const DWORD Timeout = kControlTimeoutMs;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&Timeout), sizeof Timeout);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&Timeout), sizeof Timeout);
  sockaddr_in Address = {};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(static_cast<u_short>(Port_));
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string Answer;
  if (connect(s, reinterpret_cast<sockaddr*>(&Address), sizeof Address) == 0) {
    const std::string Request = "GET " + std::string(Target) + " HTTP/1.0\r\n\r\n";
    if (send(s, Request.data(), static_cast<int>(Request.size()), 0) ==
        static_cast<int>(Request.size())) {
      char Buffer[4096];
      int Received;
      while ((Received = recv(s, Buffer, sizeof Buffer, 0)) > 0) Answer.append(Buffer, Received);
    }
  }
  closesocket(s);
  return Answer;
}

std::string PercentEncode(std::string_view Bytes) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Result;
  for (unsigned char c : Bytes) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~' || c == '/') {
      Result += static_cast<char>(c);
    } else {
      Result += '%';
      Result += Hex[c >> 4];
      Result += Hex[c & 15];
    }
  }
  return Result;
}

int Requests(const std::string& Log, const std::string& RelativePath) {
  const std::string Line = "GET /program/manager/install/" + RelativePath + " ";
  int Count = 0;
  for (size_t At = Log.find(Line); At != std::string::npos; At = Log.find(Line, At + 1)) ++Count;
  return Count;
}
