// norlix: the administration tool of the stand-in Norlix installation. It sets up companies,
// their settings and locks, the current company and this user's workstation name, as Norlix's
// own programs would.

#include <component_error.h>
#include <standin/company_file.h>
#include <standin/demo.h>
#include <standin/installation.h>
#include <user_settings.h>

#include "server_registration.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QTextStream>

#include <chrono>
#include <functional>
#include <optional>

using namespace Norlix;

namespace {

constexpr auto usageText = R"(usage: norlix COMMAND [ARGUMENTS]
       norlix help [COMMAND]   or   norlix COMMAND --help
       norlix --version

The installation is the folder NORLIX_HOME, or ~/.local/share/Norlix when that
is not set.

  init                          create an empty installation
  demo                          create the demo, or put companies A to D back
  company add LETTER NAME [--location DIR] [--file NAME] [--no-database]
                                register a company (and create its database)
  company list                  list the registered companies
  company show LETTER           show one company
  company remove LETTER         take a company out of the register
  setting get LETTER KEY        print a company setting
  setting set LETTER KEY VALUE  store a company setting
  lock LETTER WORKSTATION       request the accounts lock; prints the holder
  unlock LETTER WORKSTATION     give back one hold; prints the holder
  current [LETTER]              print or set this user's current company
  workstation [NAME | --clear]  print, set or remove the workstation name
  register                      on Windows: register the stand-in's components
                                (NorlixStandIn.dll, beside norlix.exe) with COM
  unregister                    on Windows: remove what register wrote
  help [COMMAND]                show this text, or one command's usage

Exit status: 0 done, 1 the installation refused the request, 2 the command was
not understood.
)";

// One command's usage, as `norlix help COMMAND` and `norlix COMMAND --help` print it.
struct CommandUsage
{
    const char *command;
    const char *text;
};

constexpr CommandUsage commandUsages[] = {
    { "init", R"(usage: norlix init

Creates an empty installation in NORLIX_HOME (or ~/.local/share/Norlix). An
installation that exists already is kept as it is.
)" },
    { "demo", R"(usage: norlix demo

Creates the demo installation, or puts companies A to D back into their demo
state: A found, B without its database, C locked by ACCOUNTS-PC, D without a
version. Other companies are left alone. On Windows it also registers the
stand-in's components (as norlix register does) when no Norlix is registered.
)" },
    { "company add", R"(usage: norlix company add LETTER NAME [--location DIR] [--file NAME]
                          [--no-database]

Registers company LETTER (A to Z) as NAME and creates its database, with NAME
as its Companyname, unless --no-database is given. Without --location and
--file it lives at companies/LETTER/CompanyLETTER.sqlite in the installation.
A database already at that place is kept as it is.
)" },
    { "company list", R"(usage: norlix company list

Prints one line per registered company: letter, name and the path of its
database, separated by tabs.
)" },
    { "company show", R"(usage: norlix company show LETTER

Prints what the register and the database say of one company: letter, name,
location, file, path, whether the database exists, and who holds its lock.
)" },
    { "company remove", R"(usage: norlix company remove LETTER

Takes a company out of the register. Its database file stays where it is.
)" },
    { "setting get", R"(usage: norlix setting get LETTER KEY

Prints the company setting KEY, or an empty line when it is not stored.
)" },
    { "setting set", R"(usage: norlix setting set LETTER KEY VALUE

Stores VALUE as the company setting KEY.
)" },
    { "lock", R"(usage: norlix lock LETTER WORKSTATION

Requests the company's accounts lock in the name of WORKSTATION and prints who
holds it afterwards.
)" },
    { "unlock", R"(usage: norlix unlock LETTER WORKSTATION

Gives back one hold of the accounts lock when WORKSTATION holds it, and prints
who holds it afterwards (an empty line when it is free).
)" },
    { "current", R"(usage: norlix current [LETTER]

Prints this user's current company, or makes LETTER current.
)" },
    { "workstation", R"(usage: norlix workstation [NAME | --clear]

Prints this user's workstation name, sets it to NAME exactly as given, or
removes it with --clear.
)" },
    { "register", R"(usage: norlix register

On Windows: registers the stand-in's components, NorlixStandIn.dll beside
norlix.exe, as Norlix.SystemGlobal, Norlix.NumberConverter and
Norlix.ChoiceDialog, for every user of the computer (or for this user when
the computer's registry may not be written). Refuses when those names belong
to another Norlix, such as a real one, and changes nothing then.
)" },
    { "unregister", R"(usage: norlix unregister

On Windows: removes what norlix register wrote, and nothing else.
)" },
    { "help", R"(usage: norlix help [COMMAND]

Shows the commands, or the usage of COMMAND (for example: norlix help lock).
)" },
};

// A command line that does not say what to do; exit status 2.
struct UsageError
{
    QString message;
};

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

void requireCount(const QStringList &args, qsizetype least, qsizetype most, const char *form)
{
    if (args.size() < least || args.size() > most)
        throw UsageError { QStringLiteral("expected: norlix %1").arg(QLatin1String(form)) };
}

Installation installation()
{
    return Installation(Installation::homeFromEnvironment());
}

// An administrator's request outlasts a reader that holds a company's file for a while (a
// check, a report), which the components' own wait would give up on. The file stays a shared
// network folder's plain rollback-journal database, so a writer must wait for every reader.
constexpr std::chrono::seconds commandBusyTimeout { 60 };

CompanyFile companyFile(const CompanyEntry &company)
{
    return CompanyFile(company.letter, company.path(), commandBusyTimeout);
}

CompanyFile companyFile(const QString &letter)
{
    return companyFile(installation().companyOrDefault(letter));
}

// "FRONT-DESK (2 holds)": a hold left over by a program that stopped shows.
QString describeLock(const LockHolding &lock)
{
    if (lock.holds <= 0)
        return {};
    return QStringLiteral("%1 (%2 %3)")
        .arg(lock.holder)
        .arg(lock.holds)
        .arg(lock.holds == 1 ? QStringLiteral("hold") : QStringLiteral("holds"));
}

// The arguments of `company add`: positionals, options with a value, and flags.
struct AddArguments
{
    QStringList positional;
    QString location;
    QString fileName;
    bool withDatabase = true;
};

QString optionValue(const QStringList &args, qsizetype &i, const QString &option)
{
    const QString &arg = args[i];
    if (arg.size() > option.size()) // --option=value
        return arg.mid(option.size() + 1);
    if (++i >= args.size())
        throw UsageError { QStringLiteral("%1 needs a value").arg(option) };
    return args[i];
}

AddArguments parseAddArguments(const QStringList &args)
{
    AddArguments parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == u"--location" || arg.startsWith(u"--location="))
            parsed.location = optionValue(args, i, QStringLiteral("--location"));
        else if (arg == u"--file" || arg.startsWith(u"--file="))
            parsed.fileName = optionValue(args, i, QStringLiteral("--file"));
        else if (arg == u"--no-database")
            parsed.withDatabase = false;
        else if (arg.startsWith(u"--"))
            throw UsageError { QStringLiteral("unknown option %1").arg(arg) };
        else
            parsed.positional.append(arg);
    }
    return parsed;
}

int init(const QStringList &args)
{
    requireCount(args, 0, 0, "init");
    Installation home = installation();
    if (home.create())
        out() << "Created an empty Norlix installation at " << home.home() << "\n";
    else
        out() << "A Norlix installation exists already at " << home.home() << "\n";
    return 0;
}

int demo(const QStringList &args)
{
    requireCount(args, 0, 0, "demo");
    Installation home = installation();
    createDemoInstallation(home);
    out() << "Demo Norlix installation ready at " << home.home() << "\n";
    registerStandInIfNone(out());
    return 0;
}

int companyAdd(const QStringList &args)
{
    const AddArguments parsed = parseAddArguments(args);
    requireCount(parsed.positional, 2, 2,
        "company add LETTER NAME [--location DIR] [--file NAME] [--no-database]");
    const CompanyEntry entry { parsed.positional[0], parsed.positional[1], parsed.location,
        parsed.fileName };
    Installation home = installation();
    home.addCompany(entry, parsed.withDatabase);
    const CompanyEntry added = home.companyOrDefault(entry.letter);
    out() << "Added company " << added.letter << ": " << added.path()
          << (QFileInfo::exists(added.path()) ? "" : " (no database)") << "\n";
    return 0;
}

int companyList(const QStringList &args)
{
    requireCount(args, 0, 0, "company list");
    for (const CompanyEntry &company : installation().companies())
        out() << company.letter << '\t' << company.name << '\t' << company.path() << "\n";
    return 0;
}

int companyShow(const QStringList &args)
{
    requireCount(args, 1, 1, "company show LETTER");
    const auto company = installation().company(args[0]);
    if (!company)
        throw ComponentError(QStringLiteral("Company %1 is not registered.").arg(args[0]));
    const bool exists = QFileInfo(company->path()).isFile();
    out() << "letter: " << company->letter << "\n"
          << "name: " << company->name << "\n"
          << "location: " << company->location << "\n"
          << "file: " << company->fileName << "\n"
          << "path: " << company->path() << "\n"
          << "exists: " << (exists ? "true" : "false") << "\n";
    out().flush();
    const LockHolding lock = exists
        ? companyFile(*company).lockHolding(QString::fromLatin1(accountsLockName))
        : LockHolding {};
    out() << "lock: " << describeLock(lock) << "\n";
    return 0;
}

int companyRemove(const QStringList &args)
{
    requireCount(args, 1, 1, "company remove LETTER");
    Installation home = installation();
    const CompanyEntry company = home.companyOrDefault(args[0]);
    if (!home.removeCompany(args[0]))
        throw ComponentError(QStringLiteral("Company %1 is not registered.").arg(args[0]));
    out() << "Removed company " << company.letter << " from the register";
    if (QFileInfo::exists(company.path()))
        out() << "; its database " << company.path() << " stays where it is";
    out() << "\n";
    return 0;
}

int settingGet(const QStringList &args)
{
    requireCount(args, 2, 2, "setting get LETTER KEY");
    requireCompanyLetter(args[0]);
    out() << companyFile(args[0]).setting(args[1]) << "\n";
    return 0;
}

int settingSet(const QStringList &args)
{
    requireCount(args, 3, 3, "setting set LETTER KEY VALUE");
    requireCompanyLetter(args[0]);
    companyFile(args[0]).setSetting(args[1], args[2]);
    return 0;
}

int lockRequest(const QStringList &args, const char *action, const char *form)
{
    requireCount(args, 2, 2, form);
    requireCompanyLetter(args[0]);
    out() << companyFile(args[0]).accountsLock(args[1], QString::fromLatin1(action)) << "\n";
    return 0;
}

int current(const QStringList &args)
{
    requireCount(args, 0, 1, "current [LETTER]");
    if (args.isEmpty())
        out() << installation().currentLetter() << "\n";
    else
        installation().setCurrentLetter(args[0]);
    return 0;
}

const QString workstationApplication = QStringLiteral("Norlix6");
const QString workstationSection = QStringLiteral("ThisPC");
const QString workstationKey = QStringLiteral("WStnName");

int workstation(const QStringList &args)
{
    requireCount(args, 0, 1, "workstation [NAME | --clear]");
    if (args.isEmpty()) {
        out() << readUserSetting(workstationApplication, workstationSection, workstationKey)
              << "\n";
    } else if (args[0] == u"--clear") {
        removeUserSetting(workstationApplication, workstationSection, workstationKey);
    } else if (args[0].isEmpty()) {
        throw UsageError { QStringLiteral("the workstation name is empty; use --clear to remove "
                                          "it") };
    } else {
        writeUserSetting(workstationApplication, workstationSection, workstationKey, args[0]);
    }
    return 0;
}

using Command = std::function<int(const QStringList &)>;

int dispatch(const QHash<QString, Command> &commands, const QStringList &args, const char *what)
{
    if (args.isEmpty())
        throw UsageError { QStringLiteral("%1 is missing").arg(QLatin1String(what)) };
    const auto command = commands.constFind(args[0]);
    if (command == commands.constEnd())
        throw UsageError { QStringLiteral("unknown %1 \"%2\"").arg(QLatin1String(what), args[0]) };
    return (*command)(args.mid(1));
}

int run(const QStringList &args)
{
    const QHash<QString, Command> company {
        { QStringLiteral("add"), companyAdd },
        { QStringLiteral("list"), companyList },
        { QStringLiteral("show"), companyShow },
        { QStringLiteral("remove"), companyRemove },
    };
    const QHash<QString, Command> setting {
        { QStringLiteral("get"), settingGet },
        { QStringLiteral("set"), settingSet },
    };
    const QHash<QString, Command> commands {
        { QStringLiteral("init"), init },
        { QStringLiteral("demo"), demo },
        { QStringLiteral("company"),
            [&](const QStringList &rest) { return dispatch(company, rest, "company command"); } },
        { QStringLiteral("setting"),
            [&](const QStringList &rest) { return dispatch(setting, rest, "setting command"); } },
        { QStringLiteral("lock"),
            [](const QStringList &rest) {
                return lockRequest(rest, "LOCK", "lock LETTER WORKSTATION");
            } },
        { QStringLiteral("unlock"),
            [](const QStringList &rest) {
                return lockRequest(rest, "UNLOCK", "unlock LETTER WORKSTATION");
            } },
        { QStringLiteral("current"), current },
        { QStringLiteral("workstation"), workstation },
        { QStringLiteral("register"),
            [](const QStringList &rest) {
                requireCount(rest, 0, 0, "register");
                return registerStandIn(out());
            } },
        { QStringLiteral("unregister"),
            [](const QStringList &rest) {
                requireCount(rest, 0, 0, "unregister");
                return unregisterStandIn(out());
            } },
    };
    return dispatch(commands, args, "command");
}

bool isHelpOption(const QString &arg)
{
    return arg == u"--help" || arg == u"-h";
}

// The usages of the commands that these words name: one command ("company add"), or all of a
// group ("company").
QString usageOf(const QStringList &words)
{
    const QString named = words.join(u' ');
    QStringList texts;
    for (const CommandUsage &usage : commandUsages) {
        const QString command = QLatin1String(usage.command);
        if (command == named || command.startsWith(named + u' '))
            texts.append(QLatin1String(usage.text));
    }
    if (texts.isEmpty())
        throw UsageError { QStringLiteral("no command \"%1\"").arg(named) };
    return texts.join(u'\n');
}

// What to print for `help`, `--help`, `--version` and `COMMAND --help`, or nothing when the
// command line asks for something else. A --help counts only straight after the command's
// words, so that it may still be given as a value.
std::optional<QString> helpAsked(const QStringList &args)
{
    if (args.isEmpty())
        return std::nullopt;
    if (args.size() == 1 && (args[0] == u"--version" || args[0] == u"-V"))
        return QStringLiteral("norlix (Prismor) %1\n").arg(QLatin1String(PRISMOR_VERSION));
    if (args[0] == u"help" || isHelpOption(args[0]))
        return args.size() == 1 ? QLatin1String(usageText) : usageOf(args.mid(1));
    const bool grouped = args[0] == u"company" || args[0] == u"setting";
    const qsizetype words = grouped && args.size() > 1 && !isHelpOption(args[1]) ? 2 : 1;
    if (args.size() > words && isHelpOption(args[words]))
        return usageOf(args.mid(0, words));
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (const auto help = helpAsked(args)) {
            out() << *help;
            return 0;
        }
        return run(args);
    } catch (const UsageError &error) {
        out().flush();
        err() << "norlix: " << error.message << "\n"
              << "Run \"norlix help\" for the commands.\n";
        return 2;
    } catch (const ComponentError &error) {
        out().flush();
        err() << "norlix: " << error.description() << "\n";
        return 1;
    }
}
