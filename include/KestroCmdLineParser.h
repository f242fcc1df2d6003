// QCmdLineArgument and QCmdLineParser: a host declares its options, parses its command line
// into a map from option key to value, and prints usage and help texts.
//
// Every text the user sees goes through QCoreApplication::translate with the context
// "QCmdLineParser". Both classes are plain values; one thread uses an object.
#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QRegExp>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

#include "KestroExport.h"

class QCmdLineArgumentPrivate;
class QCmdLineParserPrivate;

// One option: its names (the first one and its aliases), what it stores, its help line
// and an optional validator of its value.
class KCM_API QCmdLineArgument {
 public:
  enum Action {
    StoreTrue = 0,  // the key is set to true
    Store = 1,      // takes exactly one value; the key is set to that string
    Count = 2,      // the key is set to the number of occurrences
  };

  QCmdLineArgument(const QString &name, Action action, const QString &help);
  QCmdLineArgument(const char *name, Action action, const QString &help);
  QCmdLineArgument(const QCmdLineArgument &other);
  QCmdLineArgument &operator=(const QCmdLineArgument &other);
  ~QCmdLineArgument();

  // The name given to the constructor.
  QString name() const;
  // Every name: the constructor's first, then the aliases in the order added.
  QStringList aliases() const;
  QCmdLineArgument &addAlias(const QString &alias);

  // The key of the option's value in the parse result: the one set, or else the first
  // name without its leading '-' characters ("--output" -> "output", "-o" -> "o").
  QString keyName() const;
  void setKeyName(const QString &keyName);

  QString help() const;
  void setHelp(const QString &help);
  Action action() const;

  // An empty validator accepts every value; otherwise the whole value must match.
  void setValidator(const QRegExp &validator);
  bool validate(const QString &value) const;

  // Reported only: parse does not check it.
  void setRequired(bool required);
  bool isRequired() const;

 private:
  std::unique_ptr<QCmdLineArgumentPrivate> d;
};

// Parses "-x", "-xyz" (a group of one-letter options), "-ovalue", "-o value" and
// "--name value"; the argc/argv form also splits "--name=value". Elements that do not
// begin with '-' are refused. A built-in "-h"/"--help" option prints the help text and
// ends the process with status 0 unless disableHelpOption was called.
class KCM_API QCmdLineParser {
 public:
  explicit QCmdLineParser(const QString &description = QString());
  QCmdLineParser(const QCmdLineParser &other);
  QCmdLineParser &operator=(const QCmdLineParser &other);
  ~QCmdLineParser();

  void setApplicationName(const QString &name);
  // Replaces the generated usage text.
  void setUsage(const QString &usage);

  // Names beginning with '-' become options; a later option with the same name or alias
  // takes that name over. Other names are kept as positional arguments, which neither
  // parse nor the texts use.
  void addOption(const QCmdLineArgument &argument);
  void addOption(const char *name, QCmdLineArgument::Action action, const QString &help, const QString &alias);
  void addOption(const char *name, const QString &help);

  // Removes the built-in help option; "-h" and "--help" are then unknown arguments.
  void disableHelpOption();

  // "Usage: <application> [-h] [-o O]...", or the text given to setUsage.
  QString usage() const;
  // The usage text, the description and one aligned line per option.
  QString help() const;

  // args[0] is the program. On a malformed command line the message goes to *error and
  // the result is empty (*error is left alone when the command line is fine); without
  // error, the usage text and "<program>: <message>" go to standard output and the
  // process exits with status 1.
  QMap<QString, QVariant> parse(const QStringList &args, QString *error = nullptr) const;
  // Each entry beginning with '-' is split at its first '=' not escaped as "\=".
  QMap<QString, QVariant> parse(int argc, const char **argv, QString *error = nullptr) const;

  // Qt 6 source texts are UTF-8 already, so trUtf8 is tr.
  static QString trUtf8(const char *sourceText, const char *disambiguation = nullptr, int n = -1) {
    return QCoreApplication::translate("QCmdLineParser", sourceText, disambiguation, n);
  }

  Q_DECLARE_TR_FUNCTIONS(QCmdLineParser)

 private:
  std::unique_ptr<QCmdLineParserPrivate> d;
};
