// TLS against `openssl s_server` with certificates of a throw-away CA:
// verification both ways, host names, pinning, client certificates, and a
// library that cannot be loaded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "files/file_environment.h"
#include "files/file_manager.h"
#include "files/temp_dir.h"
#include "network/network_manager.h"
#include "network/openssl.h"
#include "peer_process.h"
#include "raw_peer.h"
#include "util/config.h"

namespace orin {
namespace {

class TlsTest : public ::testing::Test {
 protected:
  // The certificates are made once per build tree and kept for a week:
  // every test runs in a process of its own, and making keys is slow.
  static std::string PrepareCertificates() {
    namespace fs = std::filesystem;
    fs::path final_dir = fs::path(ORIN_BINARY_DIR) / "tests" / "network" / "certs";
    std::error_code ec;
    auto usable = [&] {
      std::error_code e;
      auto age = fs::file_time_type::clock::now() - fs::last_write_time(final_dir / "ca.pem", e);
      return !e && fs::exists(final_dir / "good.der", e) && age < std::chrono::hours(24 * 7);
    };
    if (usable()) return final_dir.string();
    fs::path fresh = final_dir.string() + ".new-" + std::to_string(getpid());
    fs::create_directories(fresh);
    if (RunCommand(std::string(ORIN_SOURCE_DIR) + "/tests/network/make_certs.sh " +
                   fresh.string()) != 0)
      return "";
    // Certificates another test process put in place meanwhile are in use:
    // only stale ones are replaced.
    if (!usable()) {
      fs::remove_all(final_dir, ec);
      fs::rename(fresh, final_dir, ec);
    }
    fs::remove_all(fresh, ec);  // gone after a rename; left over otherwise
    return final_dir.string();
  }
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    servers_ = new std::map<std::string, std::unique_ptr<PeerProcess>>();
    certs_ = new std::string(PrepareCertificates());
  }
  static std::string CertPath(const std::string& name) { return *certs_ + "/" + name; }
  // The s_server peers, each started when a test first needs it.
  static PeerProcess* Server(const std::string& key) {
    auto it = servers_->find(key);
    if (it != servers_->end()) return it->second.get();
    std::string cert = key;
    std::vector<std::string> extra;
    if (key == "clientauth" || key == "rev") cert = "good";
    if (key == "clientauth") extra = {"-Verify", "1", "-CAfile", CertPath("ca.pem")};
    if (key == "rev") extra = {"-rev"};
    if (key == "sni") {
      // Shows the good certificate only to clients that name "localhost".
      cert = "wrongname";
      extra = {"-servername",        "localhost", "-cert2",
               CertPath("good.pem"), "-key2",     CertPath("good.key")};
    }
    int port = FreePort();
    std::vector<std::string> argv = {"openssl", "s_server",
                                     "-accept", "127.0.0.1:" + std::to_string(port),
                                     "-cert",   CertPath(cert + ".pem"),
                                     "-key",    CertPath(cert + ".key"),
                                     "-www",    "-quiet"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    auto p = std::make_unique<PeerProcess>();
    p->Start(argv, port, *dir_ / (key + ".log"));
    PeerProcess* started = p.get();
    (*servers_)[key] = std::move(p);
    return started;
  }
  static void TearDownTestSuite() {
    delete servers_;
    delete dir_;
    delete certs_;
  }

  void SetUp() override {
    if (certs_->empty()) GTEST_SKIP() << "the test certificates could not be made";
    config_.SetInt(config_key::kTimeoutGlobal, 5);
    config_.SetText(config_key::kFileCa, CertPath("ca.pem"));
  }
  static std::string Port(const std::string& server) {
    PeerProcess* p = Server(server);
    EXPECT_TRUE(p->running()) << "openssl s_server " << server << " did not start";
    return std::to_string(p->port());
  }
  std::unique_ptr<NetworkConnection> Open(const std::string& server,
                                          const std::string& host = "localhost",
                                          const TlsOptions& options = TlsOptions(),
                                          uint32_t flags = 0) {
    return manager_.OpenUrl("https", host, Port(server), options, 0, flags);
  }
  // One request over the connection: the status line s_server answers.
  static std::string Get(NetworkConnection* c) {
    if (c->Write("GET / HTTP/1.0\r\n\r\n", 0) < 0) return c->ErrorText();
    std::string line;
    if (c->ReadLine(&line, 0, 512) < 0) return c->ErrorText();
    return line;
  }
  // The certificate's SHA-256 digest as raw bytes, by the openssl command.
  static std::string Sha256Of(const std::string& cert) {
    std::string out = *dir_ / "digest.bin";  // per process
    RunCommand("openssl x509 -in " + CertPath(cert) +
               " -outform DER | openssl dgst -sha256 -binary > " + out);
    return ReadWholeFile(out);
  }

  static TempDir* dir_;
  static std::map<std::string, std::unique_ptr<PeerProcess>>* servers_;
  static std::string* certs_;
  Config config_;
  NetworkManager manager_{&config_, nullptr};
};

TempDir* TlsTest::dir_;
std::map<std::string, std::unique_ptr<PeerProcess>>* TlsTest::servers_;
std::string* TlsTest::certs_;

TEST_F(TlsTest, GoodChainByNameAndByAddress) {
  ASSERT_TRUE(manager_.SslAvailable()) << manager_.ErrorText();
  auto c = Open("good");
  ASSERT_NE(c, nullptr) << manager_.ErrorText();
  EXPECT_TRUE(c->secure());
  std::string pem = manager_.PeerCertificatePem(c.get());
  EXPECT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----\n", 0), 0u);
  EXPECT_EQ(Get(c.get()), "HTTP/1.0 200 ok\r\n");
  c.reset();  // s_server serves one connection at a time
  auto by_address = Open("good", "127.0.0.1");
  ASSERT_NE(by_address, nullptr) << manager_.ErrorText();
  EXPECT_EQ(Get(by_address.get()), "HTTP/1.0 200 ok\r\n");
}

TEST_F(TlsTest, CaDirectoryVerifiesToo) {
  config_.SetText(config_key::kFileCa, "");
  config_.SetText(config_key::kDirCa, CertPath("cadir"));
  auto c = Open("good");
  ASSERT_NE(c, nullptr) << manager_.ErrorText();
}

TEST_F(TlsTest, UntrustedCertificatesAreRefused) {
  for (const char* server : {"rogue", "expired"}) {
    EXPECT_EQ(Open(server), nullptr) << server;
    EXPECT_EQ(manager_.ErrorText(), "Error establishing SSL connection: certificate verify failed")
        << server;
  }
  // No trust anchors at all: nothing verifies.
  config_.SetText(config_key::kFileCa, "");
  NetworkManager bare(&config_, nullptr);
  EXPECT_EQ(bare.OpenUrl("https", "localhost", Port("good"), TlsOptions(), 0, 0), nullptr);
}

TEST_F(TlsTest, VerificationOffAcceptsAnyChainButStillChecksTheName) {
  config_.SetInt(config_key::kFlagsSecurity, kSecurityNoVerify);
  EXPECT_NE(Open("rogue"), nullptr) << manager_.ErrorText();
  EXPECT_NE(Open("expired"), nullptr) << manager_.ErrorText();
  EXPECT_EQ(Open("wrongname"), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Unable to verify server identity");
}

TEST_F(TlsTest, WrongNameIsRefusedUnlessTheCheckIsOffAndNotForced) {
  EXPECT_EQ(Open("wrongname"), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Unable to verify server identity");
  config_.SetInt(config_key::kFlagsSecurity, kSecurityNoHostCheck);
  EXPECT_NE(Open("wrongname"), nullptr) << manager_.ErrorText();
  EXPECT_EQ(Open("wrongname", "localhost", TlsOptions(), kNetworkForceVerify), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Unable to verify server identity");
}

TEST_F(TlsTest, ForcedVerificationOverridesTheContext) {
  config_.SetInt(config_key::kFlagsSecurity, kSecurityNoVerify);
  EXPECT_EQ(Open("rogue", "localhost", TlsOptions(), kNetworkForceVerify), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Error establishing SSL connection: certificate verify failed");
}

TEST_F(TlsTest, LinesOverTlsAndASilentPeer) {
  auto c = Open("rev");
  ASSERT_NE(c, nullptr) << manager_.ErrorText();
  ASSERT_EQ(c->Write("hello\n", 0), 6) << c->ErrorText();
  std::string line;
  EXPECT_EQ(c->ReadLine(&line, 0, 512), 6) << c->ErrorText();
  EXPECT_EQ(line, "olleh\n");
  char buf[8];
  EXPECT_EQ(c->Read(buf, sizeof buf, 1), -1);
  EXPECT_EQ(c->ErrorText(), "SSL Read Timeout");
}

TEST_F(TlsTest, ServerNameIndicationFollowsUseSni) {
  config_.SetInt(config_key::kSslSni, 0);
  EXPECT_EQ(Open("sni"), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Unable to verify server identity");
  for (int use_sni : {1, 2}) {
    NetworkManager manager(&config_, nullptr);
    config_.SetInt(config_key::kSslSni, use_sni);
    EXPECT_NE(manager.OpenUrl("https", "localhost", Port("sni"), TlsOptions(), 0, 0), nullptr)
        << use_sni << " " << manager.ErrorText();
  }
}

TEST_F(TlsTest, PinnedFingerprint) {
  TlsOptions pin;
  pin.pin_algorithm = "sha256";
  pin.pin_fingerprint = Sha256Of("good.pem");
  ASSERT_EQ(pin.pin_fingerprint.size(), 32u);
  EXPECT_NE(Open("good", "localhost", pin), nullptr) << manager_.ErrorText();
  pin.pin_fingerprint[5] ^= 1;
  EXPECT_EQ(Open("good", "localhost", pin), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Certificate does not match expected fingerprint");
  pin.pin_fingerprint = Sha256Of("good.pem").substr(0, 20);
  EXPECT_EQ(Open("good", "localhost", pin), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Certificate does not match expected fingerprint");
  pin.pin_algorithm = "nosuchdigest";
  EXPECT_EQ(Open("good", "localhost", pin), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Unsupported certificate pinning algorithm");
}

TEST_F(TlsTest, ClientCertificateInPemAndDer) {
  // Without one the server ends the session when it sees no certificate.
  auto anonymous = Open("clientauth");
  if (anonymous) {
    EXPECT_NE(Get(anonymous.get()), "HTTP/1.0 200 ok\r\n");
    anonymous.reset();
  }
  TlsOptions pem;
  pem.certificate_data =
      ReadWholeFile(CertPath("client.pem")) + ReadWholeFile(CertPath("client.key"));
  auto c = Open("clientauth", "localhost", pem);
  ASSERT_NE(c, nullptr) << manager_.ErrorText();
  EXPECT_EQ(Get(c.get()), "HTTP/1.0 200 ok\r\n");
  TlsOptions der;
  der.certificate_type = "asn1";
  der.certificate_data =
      ReadWholeFile(CertPath("client.der")) + ReadWholeFile(CertPath("client.keyder"));
  c.reset();
  c = Open("clientauth", "localhost", der);
  ASSERT_NE(c, nullptr) << manager_.ErrorText();
  EXPECT_EQ(Get(c.get()), "HTTP/1.0 200 ok\r\n");
}

TEST_F(TlsTest, ClientCertificateFileFromTheDataArea) {
  TempDir data;
  data.Write("keys/client.pem",
             ReadWholeFile(CertPath("client.pem")) + ReadWholeFile(CertPath("client.key")));
  SimpleFileEnvironment environment;
  FileManager files(&environment);
  ASSERT_TRUE(files.SetDataDirectory(data.path())) << files.ErrorText();
  NetworkManager manager(&config_, &files);
  TlsOptions options;
  options.certificate_file = "keys/client.pem";
  auto c = manager.OpenUrl("https", "localhost", Port("clientauth"), options, 0, 0);
  ASSERT_NE(c, nullptr) << manager.ErrorText();
  EXPECT_EQ(Get(c.get()), "HTTP/1.0 200 ok\r\n");
  c.reset();
  options.certificate_file = "../outside.pem";
  EXPECT_EQ(manager.OpenUrl("https", "localhost", Port("good"), options, 0, 0), nullptr);
  EXPECT_EQ(manager.ErrorText().rfind("Unable to read from client certificate file: ", 0), 0u)
      << manager.ErrorText();
}

TEST_F(TlsTest, ClientCertificateInputsThatCannotBeUsed) {
  TlsOptions bad;
  bad.certificate_type = "x509";
  bad.certificate_data = "x";
  EXPECT_EQ(Open("good", "localhost", bad), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Unsupported certificate type 'x509'");
  bad.certificate_type = "pem";
  bad.certificate_data = ReadWholeFile(CertPath("client.pem"));  // no key
  EXPECT_EQ(Open("good", "localhost", bad), nullptr);
  EXPECT_EQ(manager_.ErrorText().rfind("Error reading client key: ", 0), 0u)
      << manager_.ErrorText();
  bad.certificate_data = "not a certificate";
  EXPECT_EQ(Open("good", "localhost", bad), nullptr);
  EXPECT_EQ(manager_.ErrorText().rfind("Error reading client certificate: ", 0), 0u);
}

TEST_F(TlsTest, WildcardNamesMatchOneLabelOnly) {
  void* cert = nullptr;
  void* key = nullptr;
  ASSERT_TRUE(manager_.LoadClientCertificate(
      ReadWholeFile(CertPath("wild.pem")) + ReadWholeFile(CertPath("wild.key")), "", "", &cert,
      &key));
  EXPECT_TRUE(manager_.CheckHostName(cert, "a.wild.test"));
  EXPECT_TRUE(manager_.CheckHostName(cert, "A.WILD.test"));
  EXPECT_FALSE(manager_.CheckHostName(cert, "b.a.wild.test"));
  EXPECT_FALSE(manager_.CheckHostName(cert, "wild.test"));
  EXPECT_FALSE(manager_.CheckIpAddress(cert, "127.0.0.1"));
  manager_.Ssl()->X509_free(cert);
  manager_.Ssl()->EVP_PKEY_free(key);
}

TEST_F(TlsTest, PeerThatIsNoTlsServer) {
  // Reads the client's hello, then closes cleanly.
  RawPeer closes([](Socket& s, RawPeer&) {
    char hello[4096];
    s.Receive(hello, sizeof hello, 5000);
    s.CloseGracefully();
  });
  EXPECT_EQ(
      manager_.OpenUrl("https", "localhost", std::to_string(closes.port()), TlsOptions(), 0, 0),
      nullptr);
  EXPECT_EQ(manager_.ErrorText(),
            "Error establishing SSL connection: The remote server closed the connection");
  RawPeer silent([](Socket& s, RawPeer& p) { p.HoldOpen(s); });
  EXPECT_EQ(
      manager_.OpenUrl("https", "localhost", std::to_string(silent.port()), TlsOptions(), 1, 0),
      nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Error establishing SSL connection: Connection timed out");
}

TEST(TlsLibraryTest, MissingLibraryLeavesPlainConnectionsWorking) {
  Config config;
  config.SetInt(config_key::kTimeoutGlobal, 5);
  config.SetText(config_key::kSslOpenssl, "libnosuchssl.so.9");
  NetworkManager manager(&config, nullptr);
  EXPECT_FALSE(manager.SslAvailable());
  EXPECT_EQ(manager.ErrorText(), "Unable to load OpenSSL DLLs");
  RawPeer peer([](Socket& s, RawPeer&) { RawPeer::Send(s, "plain\n"); }, 2);
  EXPECT_EQ(manager.OpenUrl("https", "127.0.0.1", std::to_string(peer.port()), TlsOptions(), 0, 0),
            nullptr);
  EXPECT_EQ(manager.ErrorText(), "Unable to load OpenSSL DLLs");
  auto c = manager.OpenUrl("http", "127.0.0.1", std::to_string(peer.port()), TlsOptions(), 0, 0);
  ASSERT_NE(c, nullptr) << manager.ErrorText();
  std::string line;
  EXPECT_EQ(c->ReadLine(&line, 0, 64), 6);
}

TEST(TlsLibraryTest, DefaultNamesFallBackToTheVersionedLibrary) {
  std::string error;
  OpenSSL* lib = SharedOpenSSL("libssl.so", "libcrypto.so", "", &error);
  ASSERT_NE(lib, nullptr) << error;
  EXPECT_EQ(lib->generation(), OpenSSL::Generation::k3);
  EXPECT_GE(lib->version_number(), 0x30000000UL);
  OpenSSL own;
  EXPECT_FALSE(own.Load("libc.so.6", "libc.so.6", ""));
  EXPECT_EQ(own.error_text(), "Failed to determine OpenSSL version");
}

}  // namespace
}  // namespace orin
