#include "cli/CliOptions.h"

#include "cli/CliFileOptions.h"

#include <QCommandLineParser>

#include <cmath>

namespace {

struct CliOptionSet {
    const QCommandLineOption loopback{QStringLiteral("loopback")};
    const QCommandLineOption settings{QStringLiteral("settings"), QString(), QStringLiteral("file")};
    const QCommandLineOption dataDir{QStringLiteral("data-dir"), QString(), QStringLiteral("dir")};
    const QCommandLineOption to{QStringLiteral("to"), QString(), QStringLiteral("user")};
    const QCommandLineOption group{QStringLiteral("group"), QString(), QStringLiteral("group")};
    const QCommandLineOption all{QStringLiteral("all")};
    const QCommandLineOption timeout{QStringLiteral("timeout"), QString(), QStringLiteral("seconds")};
    const QCommandLineOption format{QStringLiteral("format"), QString(), QStringLiteral("text|json")};
    const QCommandLineOption keepTalks{QStringLiteral("keep-talks")};
    const QCommandLineOption queue{QStringLiteral("queue")};
    const QCommandLineOption autoReply{QStringLiteral("auto-reply"), QString(), QStringLiteral("text")};
    const QCommandLineOption autoReplyVariant{QStringLiteral("auto-reply-variant"), QString(),
                                              QStringLiteral("name")};
    const QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};
    const QCommandLineOption version{QStringLiteral("version")};
    const QCommandLineOption fingerprint{QStringLiteral("fingerprint")};

    void add(QCommandLineParser &parser) const
    {
        parser.addOptions({loopback, settings, dataDir, to, group, all, timeout, format, keepTalks, queue,
                           autoReply, autoReplyVariant, help, version, fingerprint});
    }
};

void ReadPlainOptions(const QCommandLineParser &parser, const CliOptionSet &set, CliOptions *options)
{
    options->showHelp = parser.isSet(set.help);
    options->showVersion = parser.isSet(set.version);
    options->showFingerprint = parser.isSet(set.fingerprint);
    options->start.loopback = parser.isSet(set.loopback);
    options->start.settingsFile = parser.value(set.settings);
    options->start.dataDir = parser.value(set.dataDir);
    options->to = parser.value(set.to);
    options->group = parser.value(set.group);
    options->all = parser.isSet(set.all);
    options->keepTalks = parser.isSet(set.keepTalks);
    options->queue = parser.isSet(set.queue);
    options->autoReply = parser.value(set.autoReply);
    options->autoReplyVariant = parser.value(set.autoReplyVariant);
}

// Checks the values that need more than being present; false when options->error was set.
bool ReadCheckedValues(const QCommandLineParser &parser, const CliOptionSet &set, CliOptions *options)
{
    if ((parser.isSet(set.autoReply) && options->autoReply.trimmed().isEmpty()) ||
        (parser.isSet(set.autoReplyVariant) && options->autoReplyVariant.trimmed().isEmpty()) ||
        (parser.isSet(set.autoReply) && parser.isSet(set.autoReplyVariant))) {
        options->error =
            QStringLiteral("--auto-reply takes a text, --auto-reply-variant a name; one of them");
        return false;
    }
    if (parser.isSet(set.timeout)) {
        bool ok = false;
        const double seconds = parser.value(set.timeout).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400) {
            options->error = QStringLiteral("--timeout takes seconds from 0 to 86400");
            return false;
        }
        options->timeoutMs = int(std::lround(seconds * 1000));
        options->timeoutGiven = true;
    }
    const QString formatName = parser.value(set.format);
    if (!formatName.isEmpty() && formatName != QStringLiteral("text") &&
        formatName != QStringLiteral("json")) {
        options->error = QStringLiteral("--format is text or json");
        return false;
    }
    options->json = formatName == QStringLiteral("json");
    return true;
}

void ReadCommand(const QCommandLineParser &parser, const CliFileOptions &files, CliOptions *options)
{
    const QStringList words = parser.positionalArguments();
    options->command = words.value(0);
    if (options->command == QStringLiteral("send")) {
        const int targets = int(!options->to.isEmpty()) + int(!options->group.isEmpty()) + int(options->all);
        if (targets != 1)
            options->error = QStringLiteral("send needs exactly one of --to, --group and --all");
        else if (options->queue && options->to.isEmpty())
            options->error = QStringLiteral("--queue is for send --to");
        else if (words.size() != 2 && !(words.size() == 1 && parser.isSet(files.file)))
            options->error = QStringLiteral("send needs the text as one argument");
        else
            options->text = words.value(1);
    } else if (options->command == QStringLiteral("list") || options->command == QStringLiteral("listen") ||
               options->command == QStringLiteral("paths")) {
        if (words.size() != 1)
            options->error = QStringLiteral("%1 takes no further arguments").arg(options->command);
    } else {
        options->error = options->command.isEmpty()
                             ? QStringLiteral("a command is needed: list, send, listen or paths")
                             : QStringLiteral("unknown command: %1").arg(options->command);
    }
}

} // namespace

CliOptions ParseCliOptions(const QStringList &arguments)
{
    CliOptions options;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const CliOptionSet set;
    const CliFileOptions files;
    set.add(parser);
    files.add(parser);
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    ReadPlainOptions(parser, set, &options);
    if (!ReadCheckedValues(parser, set, &options))
        return options;
    if (options.showHelp || options.showVersion || options.showFingerprint)
        return options;

    ReadCommand(parser, files, &options);
    if (options.error.isEmpty())
        options.error = files.take(parser, &options);
    return options;
}

QString CliHelp()
{
    return QStringLiteral(
        "Usage: perixchat-cli [options] list\n"
        "       perixchat-cli [options] send (--to USER | --group GROUP | --all) TEXT\n"
        "       perixchat-cli [options] send (--to USER | --group GROUP | --all) --file PATH [TEXT]\n"
        "       perixchat-cli [options] listen [--accept-files DIR]\n"
        "       perixchat-cli [options] paths\n"
        "\n"
        "A Perix Chat peer without windows: it announces the user of its settings, does one thing\n"
        "and says goodbye.\n"
        "\n"
        "Commands:\n"
        "  list              print the users online (waits for their answers, at most --timeout)\n"
        "  send --to USER    a private message to one user, by alias or ID; waits until the user\n"
        "                    is seen, at most --timeout, and then for the receipt\n"
        "  send --group G    a message to the online members of one of your contact groups\n"
        "  send --all        a message to everybody\n"
        "  send ... --file PATH  offers the file or folder with the message, as the window program\n"
        "                    does, and serves it until --serve SECONDS have passed (default 600;\n"
        "                    0: until SIGINT or SIGTERM); a message to one user (--to) ends as soon\n"
        "                    as that user has fetched it whole and nothing else is being sent\n"
        "  listen            print every event until SIGINT or SIGTERM (or --timeout)\n"
        "  listen --accept-files DIR  fetch every file or folder offered to you into DIR (never\n"
        "                    over what is there: a second copy gets a new name) and print the\n"
        "                    transfers; without it offers are only printed\n"
        "  paths             print where the settings, history, languages, sounds and help are\n"
        "                    (without touching the network)\n"
        "\n"
        "Options:\n"
        "  --loopback        use 127.0.0.1 and broadcast to 127.255.255.255 (copies on one machine)\n"
        "  --settings FILE   the settings file (the user's profile, ID and contact groups)\n"
        "  --data-dir DIR    the folder for the program's files\n"
        "  --timeout SECONDS how long to wait for peers (default 5); for listen, how long to listen\n"
        "  --format text|json  one line per event or peer, as text (default) or as JSON\n"
        "  --keep-talks      keep a private talk when the other side closes it\n"
        "  --queue           send --to: a user who is away (known from a contact group) or a\n"
        "                    message not delivered waits in the outbox, sent when the user is back\n"
        "  --auto-reply TEXT answer every private message with TEXT while it runs (an answer\n"
        "                    carries the auto-reply mark and is not answered in turn)\n"
        "  --auto-reply-variant NAME  answer with that auto-reply variant of the settings file\n"
        "                    (by caption or number), as the window program's Auto-Reply menu does\n"
        "  -h, --help        this text\n"
        "  --version         the program's name and version\n"
        "  --fingerprint     the fingerprint of your keys (to compare by voice) and the key file\n"
        "\n"
        "Exit codes: 0 done (delivered, or queued with --queue), 1 bad command line, 2 user,\n"
        "group or auto-reply variant not found, 3 network error, 4 not delivered, 5 the key file\n"
        "is unsafe or damaged.\n");
}
