#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;
class PlainLabel;

// The utility's one window, "Check Norlix DB". Controls, handlers and procedures keep the names
// under which the Norlix support staff know them. The handlers live beside their subsystem:
// start-up, exit and the letter entry in main_window/, the check in check/.
class Main : public QWidget
{
    Q_OBJECT

public:
    explicit Main(QWidget *parent = nullptr);
    ~Main() override;

    // The controls, in the order in which they are created.
    QLineEdit *const txtLetter;
    QPushButton *const cmdExit;
    QPushButton *const cmdStart;
    PlainLabel *const lblCoName;
    PlainLabel *const Label1;
    PlainLabel *const Label3;
    PlainLabel *const lblResults;
    PlainLabel *const lblInstr;

    [[nodiscard]] const QString &savedCompanyLetter() const { return SavedCompanyLetter; }
    [[nodiscard]] const QString &workstationName() const { return WorkstationName; }

signals:
    // The utility is to end with this exit status (0 after Exit or a close of the window).
    void ended(int status);

public slots:
    void cmdStart_Click();
    void cmdExit_Click();
    void txtLetter_Change();

protected:
    // The load event: Form_Load runs on the first show, before the window appears.
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

    // The window's procedures; public so that tests can drive each on its own.
    void Form_Load();
    void InitialiseForm();
    bool SelectCompany(const QString &letter);
    void AddResult(const QString &line);
    double GetDatabaseVersion();
    bool TryLockAccounts();
    QString TempWorkstationName();

private:

    // Runs a handler; an error it does not catch is shown to the user and ends the utility.
    template<typename Handler>
    void guarded(Handler handler);
    void endAfterError(const QString &description);
    void restoreSavedCompany();
    void unload(int status);

    QString SavedCompanyLetter;
    QString WorkstationName;
    bool m_loaded = false;
    bool m_unloading = false;
};
