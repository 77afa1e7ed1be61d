// The main window over a running server: Apply saves, restarts the
// listener only for a new port, and the list dialogs write their lists
// only on OK.
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include "app/site_server.h"
#include "debug_log_dialog.h"
#include "delegation_window.h"
#include "desktop_test_support.h"
#include "error_setting_dialog.h"
#include "library_dialog.h"
#include "options_dialog.h"
#include "orin_dlg.h"
#include "platform/socket.h"
#include "ssl_settings_dialog.h"

namespace orin {

namespace {

// A site on a free port with the settings file the window edits.
struct RunningSite {
  RunningSite()
      : port(FreePort()),
        file("port = " + std::to_string(port) +
             "\nglobaltimeout = 45\nmailtimeout = 31\ncalltimeout = 32\n"
             "defaultfile = 'start.ztc'\nshowdialog = 0\n"
             "errorsettings = ['ZtASSIGN=fatal']\n"
             "libraries = ['s,sys,/opt/libsys.so.2.1', 'b,x,/opt/libbuiltin.so']\n") {
    std::string text = file.Text();
    text += "zetoroot = '" + file.root() + "'\n";
    file.Write(text);
    SiteSettings settings;
    settings.run.files = file.files();
    server = std::make_unique<SiteServer>(settings);
    config = file.NewLoader();
  }
  bool Start() { return server->Start(); }

  int port;
  SettingsFile file;
  std::unique_ptr<SiteServer> server;
  std::unique_ptr<OrinConfigLoader> config;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheSettingsFile() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    COrinDlg window(site.server.get(), site.config.get());
    window.show();
    SaveScreenshot(&window, "main_window");
    QCOMPARE(window.windowTitle(), QString("Zeto Orin - Status: Running"));
    QCOMPARE(Field(&window, "port"), QString::number(site.port));
    QCOMPARE(Field(&window, "zetoroot"), QString::fromStdString(site.file.root()));
    QCOMPARE(Field(&window, "defaultfile"), QString("start.ztc"));
    QCOMPARE(Field(&window, "globaltimeout"), QString("45"));
    QCOMPARE(Field(&window, "mailtimeout"), QString("31"));
    QCOMPARE(Field(&window, "calltimeout"), QString("32"));
    QVERIFY(!Find<QCheckBox>(&window, "showdialog")->isChecked());
    QVERIFY(Field(&window, "datadir").endsWith("/ZetoOrin/data"));  // the default
  }

  void WrongNumbersSaveNothing() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    std::string before = site.file.Text();
    COrinDlg window(site.server.get(), site.config.get());
    window.show();
    struct Case {
      const char* field;
      const char* text;
      const char* message;
    };
    const Case cases[] = {
        {"port", "0", "Please enter an integer between 1 and 65535."},
        {"port", "65536", "Please enter an integer between 1 and 65535."},
        {"port", "eighty", "Please enter an integer between 1 and 65535."},
        {"globaltimeout", "-1", "Please enter an integer between 0 and 2147483647."},
        {"mailtimeout", "2147483648", "Please enter an integer between 0 and 2147483647."},
        {"calltimeout", "", "Please enter an integer between 0 and 2147483647."},
    };
    for (const Case& c : cases) {
      COrinDlg fresh(site.server.get(), site.config.get());
      fresh.show();
      SetField(&fresh, "defaultfile", "changed.ztc");
      SetField(&fresh, c.field, c.text);
      Click(&fresh, "ok");
      QVERIFY2(fresh.isVisible(), c.text);
      QCOMPARE(prompts.LastError(), QString(c.message));
    }
    QVERIFY(prompts.questions.empty());
    QCOMPARE(site.file.Text(), before);
    QCOMPARE(site.server->port(), site.port);
  }

  void ATimeoutAloneDoesNotRestartTheListener() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    COrinDlg window(site.server.get(), site.config.get());
    window.show();
    QSignalSpy changed(&window, &COrinDlg::ConfigChanged);
    SetField(&window, "globaltimeout", "0");
    Find<QCheckBox>(&window, "showdialog")->setChecked(true);
    Click(&window, "apply");
    QVERIFY(prompts.questions.empty());
    QVERIFY(prompts.errors.empty());
    QCOMPARE(changed.count(), 1);
    QVERIFY(site.server->port() == site.port && Answers(site.port));
    ConfigStore saved = site.file.Reread();
    int32_t value = -1;
    QVERIFY(saved.GetInt("globaltimeout", &value) && value == 0);
    QVERIFY(saved.GetInt("showdialog", &value) && value == 1);
    QVERIFY(saved.GetInt("port", &value) && value == site.port);
    QVERIFY(window.isVisible());  // Apply keeps the window; OK hides it
    Click(&window, "ok");
    QVERIFY(!window.isVisible());
  }

  void ANewPortIsAskedForAndThenListenedOn() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    COrinDlg window(site.server.get(), site.config.get());
    window.show();
    int new_port = FreePort();

    // Declined: nothing is applied.
    std::string before = site.file.Text();
    prompts.confirm_answer = false;
    SetField(&window, "port", QString::number(new_port));
    SetField(&window, "mailtimeout", "99");
    Click(&window, "apply");
    QCOMPARE(prompts.questions.size(), size_t{1});
    QCOMPARE(prompts.questions[0].caption, QString("Warning"));
    QCOMPARE(prompts.questions[0].text,
             QString("A server restart is required to change the port.\nDoing so will close all "
                     "active connections."));
    QCOMPARE(site.file.Text(), before);
    QVERIFY(Answers(site.port));

    prompts.confirm_answer = true;
    Click(&window, "apply");
    QCOMPARE(site.server->port(), new_port);
    QVERIFY(Answers(new_port));
    QVERIFY(!Answers(site.port));
    ConfigStore saved = site.file.Reread();
    int32_t value = -1;
    QVERIFY(saved.GetInt("port", &value) && value == new_port);
    QVERIFY(saved.GetInt("mailtimeout", &value) && value == 99);
  }

  void ABusyNewPortFallsBackToTheRunningOne() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    Socket busy;
    std::string error;
    QVERIFY(ListenTcp("", 0, 1, &busy, &error) == ListenStatus::kListening);
    COrinDlg window(site.server.get(), site.config.get());
    window.show();
    SetField(&window, "port", QString::number(busy.LocalPort()));
    Click(&window, "apply");
    QCOMPARE(prompts.LastError(), QString("The specified port is in use"));
    QCOMPARE(site.server->port(), site.port);
    QVERIFY(Answers(site.port));
    QCOMPARE(Field(&window, "port"), QString::number(site.port));
    int32_t value = -1;
    QVERIFY(site.file.Reread().GetInt("port", &value) && value == site.port);
  }

  void OptionsAndSslAreSavedByApplyNotByTheirOk() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    COrinDlg window(site.server.get(), site.config.get());
    window.show();
    std::string before = site.file.Text();

    WhenModal<COptionsDialog>([](COptionsDialog* d) {
      Find<QCheckBox>(d, "verifychain")->setChecked(false);
      Find<QCheckBox>(d, "verifyhostname")->setChecked(false);
      SetField(d, "sockshost", "socks.lan");
      ClickOk(d);
    });
    Click(&window, "options");
    WhenModal<CSSLSettingsDialog>([](CSSLSettingsDialog* d) {
      SetField(d, "openssl", "libssl.so.3");
      ClickOk(d);
    });
    Click(&window, "sslsettings");
    // A cancelled second visit changes nothing.
    WhenModal<COptionsDialog>([](COptionsDialog* d) {
      SetField(d, "sockshost", "ignored");
      ClickCancel(d);
    });
    Click(&window, "options");
    QCOMPARE(window.options().socks_host, std::string("socks.lan"));
    QCOMPARE(site.file.Text(), before);

    Click(&window, "apply");
    ConfigStore saved = site.file.Reread();
    int32_t value = -1;
    std::string text;
    QVERIFY(saved.GetInt("securityoptions", &value) && value == 0x3000);
    QVERIFY(saved.GetString("sockshost", &text) && text == "socks.lan");
    QVERIFY(saved.GetString("openssl", &text) && text == "libssl.so.3");
  }

  void DebugLogIsSavedOnItsOwnOk() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    COrinDlg window(site.server.get(), site.config.get());
    window.show();
    std::string before = site.file.Text();
    WhenModal<CDebugLogDialog>([](CDebugLogDialog* d) {
      SetField(d, "logfile", "/tmp/never.log");
      ClickCancel(d);
    });
    Click(&window, "debuglog");
    QCOMPARE(site.file.Text(), before);

    QSignalSpy changed(&window, &COrinDlg::ConfigChanged);
    WhenModal<CDebugLogDialog>([](CDebugLogDialog* d) {
      SetField(d, "logfile", "/tmp/orin.log");
      Find<QCheckBox>(d, "errors_fatal")->setChecked(true);
      ClickOk(d);
    });
    Click(&window, "debuglog");
    QCOMPARE(changed.count(), 1);
    ConfigStore saved = site.file.Reread();
    std::string text;
    int32_t value = 0;
    QVERIFY(saved.GetString("logfile", &text) && text == "/tmp/orin.log");
    QVERIFY(saved.GetInt("loglevel", &value) && value == 0x20000000);
  }

  void LibrariesAreListedEditedAndSavedOnOk() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    COrinDlg window(site.server.get(), site.config.get());
    std::string before = site.file.Text();

    // Shown with their type names and the version from the file name.
    {
      CLibraryDialog dialog(site.config->Libraries());
      auto* list = Find<QTreeWidget>(&dialog, "list");
      QCOMPARE(list->columnWidth(0), 50);
      QCOMPARE(list->columnWidth(5), 250);
      dialog.show();
      SaveScreenshot(&dialog, "library_dialog");
      QCOMPARE(list->topLevelItemCount(), 2);
      QCOMPARE(list->topLevelItem(0)->text(0), QString("System"));
      QCOMPARE(list->topLevelItem(0)->text(1), QString("sys"));
      QCOMPARE(list->topLevelItem(0)->text(3), QString("2.1"));
      QCOMPARE(list->topLevelItem(1)->text(0), QString("Builtin"));
      QCOMPARE(list->topLevelItem(1)->text(1), QString("n/a"));
      QCOMPARE(list->headerItem()->text(5), QString("Description"));
    }

    // Cancel after adding: the file keeps its list.
    WhenModal<CLibraryDialog>([](CLibraryDialog* d) {
      WhenModal<CLibraryEditDialog>([](CLibraryEditDialog* e) {
        SetField(e, "method", "pay");
        SetField(e, "library", "/opt/libpay.so");
        ClickOk(e);
      });
      Click(d, "add");
      ClickCancel(d);
    });
    Click(&window, "libraries");
    QCOMPARE(site.file.Text(), before);

    // Add a commerce library, turn the first into a database one, delete the builtin.
    WhenModal<CLibraryDialog>([](CLibraryDialog* d) {
      WhenModal<CLibraryEditDialog>([](CLibraryEditDialog* e) {
        SaveScreenshot(e, "library_edit_dialog");
        Find<QComboBox>(e, "kind")->setCurrentIndex(kLibraryCommerce);
        SetField(e, "method", "pay");
        SetField(e, "library", "/opt/libpay.so");
        ClickOk(e);
      });
      Click(d, "add");
      auto* list = Find<QTreeWidget>(d, "list");
      list->setCurrentItem(list->topLevelItem(0));
      WhenModal<CLibraryEditDialog>([](CLibraryEditDialog* e) {
        Find<QComboBox>(e, "kind")->setCurrentIndex(kLibraryDatabase);
        ClickOk(e);
      });
      Click(d, "update");
      list->setCurrentItem(list->topLevelItem(1));
      Click(d, "delete");
      ClickOk(d);
    });
    Click(&window, "libraries");
    std::vector<std::string> saved;
    QVERIFY(site.file.Reread().GetStringList("libraries", &saved));
    QCOMPARE(saved, (std::vector<std::string>{"d,sys,/opt/libsys.so.2.1", "c,pay,/opt/libpay.so"}));
  }

  void LibraryEditRefusesIncompleteEntries() {
    RecordingPrompts prompts;
    CLibraryEditDialog edit({kLibrarySystem, "", ""});
    edit.show();
    ClickOk(&edit);
    QVERIFY(edit.isVisible());
    QCOMPARE(prompts.LastError(), QString("Please enter the method name."));
    SetField(&edit, "method", "a,b");
    SetField(&edit, "library", "/opt/x.so");
    ClickOk(&edit);
    QVERIFY(edit.isVisible());
    SetField(&edit, "method", "ab");
    SetField(&edit, "library", "");
    ClickOk(&edit);
    QCOMPARE(prompts.LastError(), QString("Please enter the library file."));
    // A builtin needs no method name.
    Find<QComboBox>(&edit, "kind")->setCurrentIndex(kLibraryBuiltin);
    SetField(&edit, "library", "/opt/b.so");
    ClickOk(&edit);
    QCOMPARE(edit.result(), int(QDialog::Accepted));
    QCOMPARE(edit.entry().name, std::string("n/a"));
  }

  void ErrorSettingsAreEditedAndSavedOnOk() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    COrinDlg window(site.server.get(), site.config.get());
    std::string before = site.file.Text();

    WhenModal<ErrorSettingDialog>([](ErrorSettingDialog* d) {
      SaveScreenshot(d, "error_settings_dialog");
      Click(d, "delete");
      ClickCancel(d);
    });
    Click(&window, "errorsettings");
    QCOMPARE(site.file.Text(), before);

    std::vector<QString> refused;
    QString shown;
    WhenModal<ErrorSettingDialog>([&prompts, &refused, &shown](ErrorSettingDialog* d) {
      auto* list = Find<QTreeWidget>(d, "list");
      if (list->topLevelItemCount() > 0)
        shown = list->topLevelItem(0)->text(0) + "=" + list->topLevelItem(0)->text(1);
      WhenModal<ErrorSettingEditDialog>([&prompts, &refused](ErrorSettingEditDialog* e) {
        SaveScreenshot(e, "error_setting_edit_dialog");
        SetField(e, "name", "NoSuchError");
        SetField(e, "value", "display");
        ClickOk(e);
        refused.push_back(prompts.LastError());
        SetField(e, "name", "ztsmtp");
        ClickOk(e);
      });
      Click(d, "insert");
      ClickOk(d);
    });
    Click(&window, "errorsettings");
    QCOMPARE(shown, QString("ZtASSIGN=fatal"));
    QCOMPARE(refused.size(), size_t{1});
    QCOMPARE(refused[0], QString("'NoSuchError' is not the name of a runtime error."));
    std::vector<std::string> saved;
    QVERIFY(site.file.Reread().GetStringList("errorsettings", &saved));
    QCOMPARE(saved, (std::vector<std::string>{"ZtASSIGN=fatal", "ztsmtp=display"}));
  }

  void HomePageAddressAndBrowserFailure() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    COrinDlg window(site.server.get(), site.config.get());
    QCOMPARE(HomePageAddress(80), std::string("http://127.0.0.1"));
    QCOMPARE(HomePageAddress(8080), std::string("http://127.0.0.1:8080"));
    Click(&window, "homepage");
    QString address = QString("http://127.0.0.1:%1").arg(site.port);
    QCOMPARE(prompts.opened, std::vector<QString>{address});
    QVERIFY(prompts.errors.empty());
    prompts.open_succeeds = false;
    Click(&window, "homepage");
    QCOMPARE(prompts.errors.back().caption, QString("Error"));
    QCOMPARE(prompts.LastError(),
             "Zeto Vendra Orin was unable to launch your WWW browser.\nManually start your "
             "browser and enter the URL " +
                 address);
  }

  void ShutdownStopsTheServer() {
    RecordingPrompts prompts;
    RunningSite site;
    QVERIFY(site.Start());
    // The delegation window reads the default settings files; point them here.
    SetConfigFileOverride(site.file.path());
    {
      CDelegationWindow delegation(site.server.get(), site.config.get());
      delegation.Create();  // no notification area offscreen: the window is shown
      QVERIFY(delegation.main_window()->isVisible());
      Click(delegation.main_window(), "shutdown");
      QTRY_VERIFY(!delegation.main_window()->isVisible());
    }
    QVERIFY(!Answers(site.port));

    // The same from the icon's menu, after Properties brought the window back.
    QVERIFY(site.Start());
    {
      CDelegationWindow delegation(site.server.get(), site.config.get());
      QList<QAction*> items = delegation.menu()->actions();
      QCOMPARE(items.size(), 3);
      QCOMPARE(items[0]->text(), QString("&Properties"));
      QCOMPARE(items[1]->text(), QString("&Show Home Page"));
      QCOMPARE(items[2]->text(), QString("Shut &Down"));
      items[0]->trigger();
      QVERIFY(delegation.main_window()->isVisible());
      items[1]->trigger();
      QCOMPARE(prompts.opened.back(), QString("http://127.0.0.1:%1").arg(site.port));
      items[2]->trigger();
      QVERIFY(!delegation.main_window()->isVisible());
    }
    SetConfigFileOverride("");
    QVERIFY(!Answers(site.port));
  }
};

int RunMainWindowTests(int argc, char** argv) {
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace orin

#include "main_window_test.moc"
