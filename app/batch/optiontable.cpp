// SPDX-License-Identifier: GPL-3.0-or-later
#include "optiontable.h"

#include "batchstatus.h"

#include <QTextStream>

namespace {

const char *const programName = "ratelens-batch";

} // namespace

QTextStream &batchMessage(QTextStream &err)
{
    err << programName << ": ";
    return err;
}

int usageError(QTextStream &err, const CommandText &command, const QString &text)
{
    batchMessage(err);
    QString helpOf = QLatin1String(programName);
    if (!command.subcommand.isEmpty()) {
        err << command.subcommand << ": ";
        helpOf += QLatin1Char(' ') + command.subcommand;
    }
    err << text << '\n';
    err << "Try '" << helpOf << " --help' for more information.\n";
    err.flush();
    return BatchUsageError;
}

bool parseCommandLine(QCommandLineParser &parser, const CommandText &command,
                      const QList<QCommandLineOption> &options, const QStringList &arguments,
                      QTextStream &out, QTextStream &err, int *status)
{
    parser.setApplicationDescription(command.description);
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    if (command.version)
        parser.addOption(version);
    parser.addOptions(options);
    parser.addPositionalArgument(command.positionalName, command.positionalHelp,
                                 command.positionalSyntax);
    if (!parser.parse(arguments)) {
        *status = usageError(err, command, parser.errorText());
        return false;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
    } else if (command.version && parser.isSet(version)) {
        out << programName << ' ' << RATELENS_VERSION << '\n';
    } else {
        return true;
    }
    out.flush();
    *status = BatchOk;
    return false;
}
