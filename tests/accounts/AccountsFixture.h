#pragma once
// The main window, shown, with its "Options" page pointing at an in-process SQL Server stand-in.
// Dialogs are answered through TRecordingDialogs; what reached the server is read from the stand-in's
// statement log and its tables.
#include "app/mUnit.h"
#include "tests/framework/support/RecordingDialogs.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/ServerUnderTest.h"
#include "tools/standin/tds/StandinServer.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class AccountsTest : public ::testing::Test {
protected:
    // The stand-in the window talks to; fixtures for other servers give other options.
    virtual standin::ServerOptions ServerSetup() const { return {}; }

    void SetUp() override {
        VAC_SKIP_AGAINST_OTHER_SERVER("empty account tables, faults and the statement log");
        server = std::make_unique<standin::Server>(ServerSetup());
        server->start();
        Form = std::make_unique<TMainForm>(Dialogs);
        PointOptionsAtServer();
        Form->ShowCentred();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }

    void TearDown() override {
        Form.reset();
        server.reset();
    }

    void PointOptionsAtServer(const std::string& password = "standin") {
        Form->DBHostEdit->setText(QString::fromStdString(Address()));
        Form->DBLoginEdit->setText("sa");
        Form->DBPassEdit->setText(QString::fromStdString(password));
    }

    std::string Address() const { return "127.0.0.1," + std::to_string(server->port()); }

    // The operator's actions.
    static void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void ClickTab(int index) {
        QTabBar* tabs = Form->PageControl1->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
        ASSERT_EQ(Form->PageControl1->ActivePageIndex(), index);
    }
    void ShowEditPage() { ClickTab(TMainForm::EditPageIndex); }
    void ShowCreatePage() { ClickTab(TMainForm::CreatePageIndex); }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // Fills the "Create" page and presses "Create".
    void Create(const QString& login, const QString& password, int gmLevel = 0) {
        Form->LoginEdit->setText(login);
        Form->PassEdit->setText(password);
        Form->GMCheck->SetChecked(gmLevel > 0);
        if (gmLevel > 0) Form->GMLevelEdit->SetValue(gmLevel);
        Click(Form->SubmitButton);
    }

    // The "Edit" page's list, and the operator picking an item from it.
    QStringList Items() const {
        QStringList items;
        for (int i = 0; i < Form->AccountsComboBox->Count(); ++i) items << Form->AccountsComboBox->Item(i);
        return items;
    }
    void Pick(const QString& name) {
        TComboBox& box = *Form->AccountsComboBox;
        const int index = box.findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        ASSERT_GE(index, 0) << name.toStdString();
        box.SetItemIndex(index);
        emit box.activated(index);
    }

    QString StatusLine() const { return Form->StatusBar1->PanelText(TMainForm::StatusLinePanel); }

    // Batches the program sent since the last ForgetSent(), without what the driver sends on its own
    // when it connects.
    std::vector<std::string> Sent() const {
        std::vector<std::string> sent;
        for (const auto& batch : server->statements()) {
            if (IsProgramStatement(batch.sql)) sent.push_back(batch.sql);
        }
        return sent;
    }
    void ForgetSent() { server->clearStatements(); }

    // Rows of a query run straight on the stand-in's engine, cells joined by '|'.
    std::vector<std::string> Rows(const std::string& sql) {
        standin::Session session;
        standin::test::RecordingSink sink;
        server->engine().execute(session, sql, sink);
        EXPECT_TRUE(sink.errors().empty()) << sql;
        return sink.text();
    }
    void Exec(const std::string& sql) { Rows(sql); }

    // An account as the game server's own tools leave it.
    void AddAccount(const std::string& name, const std::string& flags = "0,0", int gmLevel = 0) {
        Exec("INSERT INTO lin2db.dbo.user_auth VALUES ('" + name + "',0x0102,'q','a',0x01,0x02)");
        Exec("INSERT INTO lin2db.dbo.user_account VALUES ('" + name + "',1,0,0," + flags +
             ",null,null,null,0,null,null,null)");
        if (gmLevel > 0)
            Exec("INSERT INTO lin2world.dbo.builder_account VALUES ('" + name + "'," + std::to_string(gmLevel) + "," +
                 Uid(name) + ")");
    }

    std::string Uid(const std::string& name) {
        const auto uid = Rows("SELECT uid FROM lin2db.dbo.user_account WHERE account = '" + name + "'");
        return uid.empty() ? std::string("none") : uid.front();
    }

    std::vector<TShownDialog> Shown() const { return Dialogs.Shown; }

    static standin::Message ServerError(int32_t number, uint8_t severity, const std::string& text) {
        standin::Message message;
        message.number = number;
        message.severity = severity;
        message.text = text;
        return message;
    }

    TRecordingDialogs Dialogs;
    std::unique_ptr<standin::Server> server;
    std::unique_ptr<TMainForm> Form;

private:
    static bool IsProgramStatement(const std::string& sql) {
        for (const char* start : {"SELECT ", "INSERT ", "UPDATE ", "DELETE "}) {
            if (sql.rfind(start, 0) == 0) return true;
        }
        return false;
    }
};

inline TShownDialog Message(const std::string& text) { return {TShownKind::Message, text, {}}; }

inline TShownDialog Error(const std::string& text) { return {TShownKind::Error, text, {}}; }
