// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <optional>
#include <variant>
#include <vector>

class QTextStream;

// What a command of ratelens-batch says of itself in --help and in its usage
// errors.
struct CommandText
{
    QString subcommand; // empty for ratelens-batch itself, else its name ("correct")
    QString description;
    QString positionalName; // the positional arguments in --help: "FILE"
    QString positionalHelp;
    QString positionalSyntax; // "FILE..."
    bool version = false; // --version besides --help
};

// One option of a command, as --help lists it. An option that only carries
// its value, its values or (for a switch) whether it was given into the
// command's options names the field it fills; the others are read from the
// parser by name and checked by the command.
template<class Options>
struct OptionRow
{
    QStringList names; // the short name first
    QString help;
    QString valueName; // empty for a switch
    QString defaultValue;
    std::variant<std::monostate, bool Options::*, QString Options::*, QStringList Options::*> field;
};

// A command's options in the order --help lists them (after --help and
// --version), and the field its positional arguments fill.
template<class Options>
struct OptionTable
{
    CommandText text;
    std::vector<OptionRow<Options>> rows;
    QStringList Options::*positional;
};

// "ratelens-batch: " on err, for a message line.
QTextStream &batchMessage(QTextStream &err);

// A usage error of the command on err, with the pointer to its --help;
// returns the usage status.
int usageError(QTextStream &err, const CommandText &command, const QString &text);

// Parses arguments (program name first) into parser, which holds --help, the
// options given and, with command.version, --version. True when the command
// is to run; otherwise *status is set: help and version are printed to out
// (status 0), a usage error to err (status 2).
bool parseCommandLine(QCommandLineParser &parser, const CommandText &command,
                      const QList<QCommandLineOption> &options, const QStringList &arguments,
                      QTextStream &out, QTextStream &err, int *status);

// Parses arguments by the table into parser and fills the fields that the
// table names; nothing when the command is not to run (see parseCommandLine).
template<class Options>
std::optional<Options> parseOptionTable(QCommandLineParser &parser,
                                        const OptionTable<Options> &table,
                                        const QStringList &arguments, QTextStream &out,
                                        QTextStream &err, int *status)
{
    QList<QCommandLineOption> options;
    for (const OptionRow<Options> &row : table.rows)
        options.append(QCommandLineOption(row.names, row.help, row.valueName, row.defaultValue));
    if (!parseCommandLine(parser, table.text, options, arguments, out, err, status))
        return std::nullopt;
    Options o;
    o.*table.positional = parser.positionalArguments();
    for (const OptionRow<Options> &row : table.rows) {
        const QString &name = row.names.constLast();
        if (const auto flag = std::get_if<bool Options::*>(&row.field))
            o.**flag = parser.isSet(name);
        else if (const auto value = std::get_if<QString Options::*>(&row.field))
            o.**value = parser.value(name);
        else if (const auto values = std::get_if<QStringList Options::*>(&row.field))
            o.**values = parser.values(name);
    }
    return o;
}
