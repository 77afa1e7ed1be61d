// The settings dialogs one by one: values shown as loaded from a settings
// file, edits handed back only on OK, range checks that keep the dialog open.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

#include "about_dlg.h"
#include "debug_log_dialog.h"
#include "desktop_test_support.h"
#include "options_dialog.h"
#include "platform/socket.h"
#include "port_in_use_dialog.h"
#include "ssl_settings_dialog.h"

namespace orin {

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void PortInUseDialogSaysWhichPortAndProposesOne() {
    RecordingPrompts prompts;
    CPortInUseDialog dialog(80, 8003);
    QCOMPARE(Find<QLabel>(&dialog, "message")->text(),
             QString("Zeto Vendra Orin is configured to listen for HTTP requests on port 80, "
                     "but has detected that this port is in use by another WWW server, or "
                     "another instance of Orin."));
    QCOMPARE(Field(&dialog, "port"), QString("8003"));
    dialog.show();
    SaveScreenshot(&dialog, "port_in_use_dialog");
  }

  void PortInUseDialogKeepsABusyOrImpossiblePort() {
    RecordingPrompts prompts;
    Socket busy;
    std::string error;
    QVERIFY(ListenTcp("", 0, 1, &busy, &error) == ListenStatus::kListening);
    CPortInUseDialog dialog(80, 8000);
    dialog.show();
    SetField(&dialog, "port", QString::number(busy.LocalPort()));
    ClickOk(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompts.errors.size(), size_t{1});
    QCOMPARE(prompts.errors[0].caption, QString("Error"));
    QCOMPARE(prompts.errors[0].text, QString("The specified port is in use"));

    for (const char* wrong : {"0", "65536", "-1", "80x", ""}) {
      SetField(&dialog, "port", wrong);
      ClickOk(&dialog);
      QVERIFY2(dialog.isVisible(), wrong);
      QCOMPARE(prompts.LastError(), QString("Please enter an integer between 1 and 65535."));
    }

    int free_port = FreePort();
    SetField(&dialog, "port", QString::number(free_port));
    ClickOk(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.port(), free_port);
  }

  void ProposedPortIsFreeAndNotTheBusyOne() {
    // Hold the first port of the range when we can; the proposal must skip it.
    Socket held;
    std::string error;
    bool holding = ListenTcp("", 8000, 1, &held, &error) == ListenStatus::kListening;
    int proposed = ProposeFreePort();
    QVERIFY(proposed >= 8000 && proposed <= 8100);
    if (holding) QVERIFY(proposed != 8000);
    if (proposed < 8100) QVERIFY(!TcpPortInUse(proposed));
    QVERIFY(TcpPortInUse(8000));  // held by us or by someone else
  }

  void OptionsShowTheFileAndReturnEditsOnOk() {
    RecordingPrompts prompts;
    SettingsFile file(
        "usecookies = 1\nsecurityoptions = 0x3000\nmaxpostvars = 77\nposttimeout = 12\n"
        "socksversion = 5\nsockshost = 'proxy.lan'\nsocksport = 1081\n"
        "socksusername = 'ann'\nsockspassword = 'pw'\n");
    auto config = file.NewLoader();
    COptionsDialog dialog(LoadOptionsValues(*config));
    dialog.show();
    SaveScreenshot(&dialog, "options_dialog");
    QVERIFY(Find<QCheckBox>(&dialog, "usecookies")->isChecked());
    QVERIFY(!Find<QCheckBox>(&dialog, "verifychain")->isChecked());
    QVERIFY(!Find<QCheckBox>(&dialog, "verifyhostname")->isChecked());
    QVERIFY(!Find<QCheckBox>(&dialog, "verifyip")->isChecked());
    QCOMPARE(Field(&dialog, "maxpostvars"), QString("77"));
    QCOMPARE(Field(&dialog, "posttimeout"), QString("12"));
    QCOMPARE(Find<QComboBox>(&dialog, "socksversion")->currentIndex(), 1);
    QCOMPARE(Field(&dialog, "sockshost"), QString("proxy.lan"));
    QCOMPARE(Field(&dialog, "socksport"), QString("1081"));
    QCOMPARE(Field(&dialog, "socksusername"), QString("ann"));
    QCOMPARE(Field(&dialog, "sockspassword"), QString("pw"));

    Find<QCheckBox>(&dialog, "verifychain")->setChecked(true);
    Find<QCheckBox>(&dialog, "verifyhostname")->setChecked(true);
    Find<QCheckBox>(&dialog, "verifyip")->setChecked(true);
    Find<QComboBox>(&dialog, "socksversion")->setCurrentIndex(0);
    SetField(&dialog, "socksport", "65535");
    SetField(&dialog, "maxpostvars", "0");
    ClickOk(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    OptionsValues v = dialog.values();
    QCOMPARE(v.SecurityOptions(), 0x4000);
    QCOMPARE(v.socks_version, 4);
    QCOMPARE(v.socks_port, 65535);
    QCOMPARE(v.max_post_vars, 0);
  }

  void OptionsRangeChecksKeepTheDialogOpen() {
    RecordingPrompts prompts;
    OptionsValues start;
    start.max_post_vars = 2000;
    start.post_timeout = 30;
    start.socks_port = 1080;
    struct Case {
      const char* field;
      const char* text;
      const char* message;
    };
    const Case cases[] = {
        {"socksport", "0", "Please enter an integer between 1 and 65535."},
        {"socksport", "65536", "Please enter an integer between 1 and 65535."},
        {"maxpostvars", "-1", "Please enter an integer between 0 and 2147483647."},
        {"posttimeout", "2147483648", "Please enter an integer between 0 and 2147483647."},
        {"posttimeout", "ten", "Please enter an integer between 0 and 2147483647."},
    };
    for (const Case& c : cases) {
      COptionsDialog dialog(start);
      dialog.show();
      SetField(&dialog, c.field, c.text);
      Find<QCheckBox>(&dialog, "usecookies")->setChecked(true);
      ClickOk(&dialog);
      QVERIFY2(dialog.isVisible(), c.text);
      QCOMPARE(prompts.LastError(), QString(c.message));
      QVERIFY(!dialog.values().use_cookies);  // nothing handed back
    }
  }

  void SecurityCheckBoxesKeepOtherBits() {
    OptionsValues v;
    v.other_security_bits = 0x7001;
    v.verify_chain = v.verify_hostname = true;
    v.verify_ip = false;
    QCOMPARE(v.SecurityOptions(), 0x0001);
    v.verify_chain = v.verify_hostname = false;
    QCOMPARE(v.SecurityOptions(), 0x3001);
  }

  void CancelledOptionsHandNothingBack() {
    RecordingPrompts prompts;
    OptionsValues start;
    start.socks_host = "before";
    start.socks_port = 1080;
    COptionsDialog dialog(start);
    dialog.show();
    SetField(&dialog, "sockshost", "after");
    Find<QCheckBox>(&dialog, "verifyip")->setChecked(true);
    ClickCancel(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.values().socks_host, std::string("before"));
    QVERIFY(!dialog.values().verify_ip);
  }

  void SslSettingsEditAndBrowse() {
    RecordingPrompts prompts;
    SettingsFile file("openssl = 'libssl.so.3'\nsslconfig = 'ssl.conf'\n");
    auto config = file.NewLoader();
    {
      CSSLSettingsDialog dialog(LoadSslValues(*config));
      dialog.show();
      SaveScreenshot(&dialog, "ssl_settings_dialog");
      QCOMPARE(Field(&dialog, "openssl"), QString("libssl.so.3"));
      QCOMPARE(Field(&dialog, "openssl_crypto"), QString("libcrypto.so"));  // the default
      QCOMPARE(Field(&dialog, "sslconfig"), QString("ssl.conf"));
      prompts.chosen = "/usr/lib/libcrypto.so.3";
      Click(&dialog, "browsecrypto");
      QCOMPARE(Field(&dialog, "openssl_crypto"), prompts.chosen);
      SetField(&dialog, "sslconfig", "");
      ClickOk(&dialog);
      QCOMPARE(dialog.values().crypto, std::string("/usr/lib/libcrypto.so.3"));
      QCOMPARE(dialog.values().config, std::string());
    }
    {
      CSSLSettingsDialog dialog(LoadSslValues(*config));
      dialog.show();
      SetField(&dialog, "openssl", "other");
      ClickCancel(&dialog);
      QCOMPARE(dialog.values().openssl, std::string("libssl.so.3"));
    }
  }

  void DebugLogBitsFollowTheCheckBoxes() {
    RecordingPrompts prompts;
    // Runtime errors and ZtCALL on, plus a bit without a check box.
    SettingsFile file("loglevel = 0x10100001\nlogfile = '/tmp/a.log'\nlogfilter = '*.ztc'\n");
    auto config = file.NewLoader();
    CDebugLogDialog dialog(LoadDebugLogValues(*config));
    dialog.show();
    SaveScreenshot(&dialog, "debug_log_dialog");
    QVERIFY(Find<QCheckBox>(&dialog, "errors_runtime")->isChecked());
    QVERIFY(Find<QCheckBox>(&dialog, "ztcall")->isChecked());
    QVERIFY(!Find<QCheckBox>(&dialog, "errors_fatal")->isChecked());
    QCOMPARE(Field(&dialog, "logfile"), QString("/tmp/a.log"));
    QCOMPARE(Field(&dialog, "logfilter"), QString("*.ztc"));

    const std::pair<const char*, uint32_t> boxes[] = {
        {"trace", 0x40000000},
        {"ztsmtp", 0x200000},
        {"script_call", 0x10},
        {"script_parameters", 0x20},
        {"script_return_value", 0x40},
        {"script_return", 0x80},
        {"external_call", 0x100},
        {"external_parameters", 0x200},
        {"external_return_value", 0x400},
        {"external_return", 0x800},
        {"ztdo_enter_file", 0x1000},
        {"ztdo_leave_file", 0x2000},
        {"errors_fatal", 0x20000000},
        {"errors_timeout", 0x8000000},
    };
    uint32_t expected = 0x00000001;  // the bit without a box stays
    for (const auto& [name, bit] : boxes) {
      auto* box = Find<QCheckBox>(&dialog, name);
      QVERIFY2(box != nullptr, name);
      box->setChecked(true);
      expected |= bit;
    }
    Find<QCheckBox>(&dialog, "errors_runtime")->setChecked(false);
    Find<QCheckBox>(&dialog, "ztcall")->setChecked(false);
    prompts.chosen = "/var/log/orin.log";
    Click(&dialog, "browselogfile");
    QCOMPARE(prompts.last_filter, QString("Log Files (*.log)"));
    QCOMPARE(prompts.last_suffix, QString("log"));
    ClickOk(&dialog);
    QCOMPARE(dialog.values().loglevel, expected);
    QCOMPARE(dialog.values().logfile, std::string("/var/log/orin.log"));
  }

  void GenerateMakesAFreshHexCookie() {
    CDebugLogDialog dialog(DebugLogValues{});
    QRegularExpression hex("^[0-9a-f]{32}$");
    dialog.Generate();
    QString first = Field(&dialog, "logcookie");
    dialog.Generate();
    QString second = Field(&dialog, "logcookie");
    QVERIFY2(hex.match(first).hasMatch(), qPrintable(first));
    QVERIFY(hex.match(second).hasMatch());
    QVERIFY(first != second);
  }

  void AboutBoxNamesTheVersion() {
    CAboutDlg about;
    about.show();
    SaveScreenshot(&about, "about_box");
    QVERIFY(Find<QLabel>(&about, "product")->text().contains("Version 5.52"));
  }
};

int RunDialogsTests(int argc, char** argv) {
  DialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace orin

#include "dialogs_test.moc"
