#pragma once

#include <QWidget>

#include <functional>

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

    // The handlers, each connected to its control through guarded().
    void cmdStart_Click();
    void cmdExit_Click();
    void txtLetter_Change();

    // The window's procedures; public so that tests can drive each on its own.
    void Form_Load();
    void InitialiseForm();
    bool SelectCompany(const QString &letter);
    void AddResult(const QString &line);
    double GetDatabaseVersion();
    bool TryLockAccounts();
    QString TempWorkstationName();

    // Runs a handler. An error it lets through is shown to the user in a message box, the saved
    // company is put back and the utility ends with a non-zero status: no error reaches Qt's
    // event loop. Once the utility is ending, handlers no longer run.
    void guarded(const std::function<void()> &handler);

signals:
    // The utility is to end with this exit status: 0 after Exit or a close of the window, not 0
    // after an error that no handler caught.
    void ended(int status);

protected:
    // The load event: Form_Load runs on the first show, before the window appears.
    void showEvent(QShowEvent *event) override;
    // Closing by the frame, the window manager or the session's end puts the saved company back
    // as Exit does.
    void closeEvent(QCloseEvent *event) override;

private:
    void connectHandlers();
    void endAfterError(const QString &description);
    void restoreSavedCompany();
    void restoreAtExitToo();
    static void restoreAtExit();
    void unload(int status);

    // The window's life: made, in its load event, open, and ending, once Exit, a close or an
    // error has ended the utility; from then on handlers no longer run.
    enum class Stage { Created, Loading, Open, Ending };
    // The company to put back: there is one only once start-up has come to noting the current
    // company, and it is put back once.
    enum class SavedCompany { NotNoted, Noted, Restored };

    QString SavedCompanyLetter;
    QString WorkstationName;
    Stage m_stage = Stage::Created;
    // A check is running: the window takes no further Start or Exit meanwhile.
    bool m_checkRunning = false;
    SavedCompany m_savedCompany = SavedCompany::NotNoted;
};
