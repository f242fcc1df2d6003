#include <stdio.h>
#include <stdlib.h>

#include <QList>
#include <QTextStream>

#include "KestroCmdLineParser.h"

class QCmdLineParserPrivate {
 public:
  QString description;
  QString usage;
  bool usageSet = false;
  QString applicationName;
  bool helpEnabled = true;
  QList<QCmdLineArgument> named;
  QMap<QString, int> index;  // every name and alias -> position in named
  QList<QCmdLineArgument> positional;

  const QCmdLineArgument *find(const QString &name) const {
    const int position = index.value(name, -1);
    return position < 0 ? nullptr : &named.at(position);
  }

  QString usageFor(const QString &program) const;
};

namespace {

const QChar kDash = QLatin1Char('-');

QString valueSuffix(const QCmdLineArgument &option) {
  return option.action() == QCmdLineArgument::Store ? QLatin1Char(' ') + option.keyName().toUpper() : QString();
}

// "-o O, --output O" for a Store option, "-h, --help" otherwise.
QString namesColumn(const QCmdLineArgument &option) {
  QStringList names;
  for (const QString &name : option.aliases()) names.append(name + valueSuffix(option));
  return names.join(QLatin1String(", "));
}

void printLocal(const QString &text) { puts(text.toLocal8Bit().constData()); }

// The argc/argv form: "-name=value" becomes two elements; "\=" is an '=' kept in place.
void appendSplit(QStringList &args, const QString &entry) {
  if (!entry.startsWith(kDash)) {
    args.append(entry);
    return;
  }
  QString head;
  for (int i = 0; i < entry.size(); ++i) {
    const bool escaped = entry.at(i) == QLatin1Char('\\') && i + 1 < entry.size() && entry.at(i + 1) == QLatin1Char('=');
    if (escaped) ++i;
    if (!escaped && entry.at(i) == QLatin1Char('=')) {
      args << head << QString(entry.mid(i + 1));
      return;
    }
    head.append(entry.at(i));
  }
  args.append(head);
}

// One pass over a command line. Parsing stops before the next element once an error is
// recorded; within one element the last recorded error wins.
class ParseRun {
 public:
  ParseRun(const QCmdLineParserPrivate &parser, const QStringList &args) : _parser(parser), _args(args) {
    for (int i = 1; i < _args.size() && !failed();) i += 1 + element(i);
  }

  bool failed() const { return !_error.isNull(); }
  const QString &error() const { return _error; }
  const QMap<QString, QVariant> &result() const { return _result; }

 private:
  // Answers how many of the following elements it consumed.
  int element(int i) {
    const QString &arg = _args.at(i);
    if (!arg.startsWith(kDash)) {
      _error = QCmdLineParser::tr("Unrecognized argument: %1").arg(arg);
      return 0;
    }
    if (const QCmdLineArgument *option = _parser.find(arg)) return handle(*option, nullptr, i + 1);
    return group(arg, i + 1);
  }

  // "-abc": one-letter options; a Store option takes the rest of the element as its value.
  int group(const QString &arg, int next) {
    int consumed = 0;
    for (int c = 1; c < arg.size(); ++c) {
      const QCmdLineArgument *option = _parser.find(QString(kDash) + arg.at(c));
      if (option == nullptr) {
        _error = QCmdLineParser::tr("Unknown argument: %1").arg(arg);
        continue;
      }
      const QString rest = arg.mid(c + 1);
      if (option->action() == QCmdLineArgument::Store && !rest.isEmpty()) {
        handle(*option, &rest, next + consumed);
        break;
      }
      consumed += handle(*option, nullptr, next + consumed);
    }
    return consumed;
  }

  int handle(const QCmdLineArgument &option, const QString *attached, int next) {
    switch (option.action()) {
      case QCmdLineArgument::StoreTrue:
        _result.insert(option.keyName(), true);
        return 0;
      case QCmdLineArgument::Count:
        _result.insert(option.keyName(), _result.value(option.keyName()).toInt() + 1);
        return 0;
      case QCmdLineArgument::Store:
        break;
    }
    if (attached != nullptr) return store(option, *attached, 0);
    if (next < _args.size()) return store(option, _args.at(next), 1);
    _error = QCmdLineParser::tr("Argument %1: expected one argument").arg(option.name());
    return 0;
  }

  int store(const QCmdLineArgument &option, const QString &value, int consumed) {
    if (option.validate(value)) {
      _result.insert(option.keyName(), value);
    } else {
      _error = QCmdLineParser::tr("Invalid format for argument %1").arg(option.name());
    }
    return consumed;
  }

  const QCmdLineParserPrivate &_parser;
  const QStringList &_args;
  QMap<QString, QVariant> _result;
  QString _error;
};

}  // namespace

QString QCmdLineParserPrivate::usageFor(const QString &program) const {
  if (usageSet) return usage;
  QString text = QCmdLineParser::tr("Usage: %1").arg(program);
  for (const QCmdLineArgument &option : named) text += QLatin1String(" [") + option.name() + valueSuffix(option) + QLatin1Char(']');
  return text;
}

QCmdLineParser::QCmdLineParser(const QString &description) : d(new QCmdLineParserPrivate) {
  d->description = description;
  addOption(QCmdLineArgument("-h", QCmdLineArgument::StoreTrue, tr("show this help message and exit")).addAlias(QStringLiteral("--help")));
}

QCmdLineParser::QCmdLineParser(const QCmdLineParser &other) : d(new QCmdLineParserPrivate(*other.d)) {}

QCmdLineParser &QCmdLineParser::operator=(const QCmdLineParser &other) {
  *d = *other.d;
  return *this;
}

QCmdLineParser::~QCmdLineParser() = default;

void QCmdLineParser::setApplicationName(const QString &name) { d->applicationName = name; }

void QCmdLineParser::setUsage(const QString &usage) {
  d->usage = usage;
  d->usageSet = true;
}

void QCmdLineParser::addOption(const QCmdLineArgument &argument) {
  if (!argument.name().startsWith(kDash)) {
    d->positional.append(argument);
    return;
  }
  d->named.append(argument);
  const int position = static_cast<int>(d->named.size()) - 1;
  for (const QString &name : argument.aliases()) d->index.insert(name, position);
}

void QCmdLineParser::addOption(const char *name, QCmdLineArgument::Action action, const QString &help, const QString &alias) {
  addOption(QCmdLineArgument(name, action, help).addAlias(alias));
}

void QCmdLineParser::addOption(const char *name, const QString &help) {
  addOption(QCmdLineArgument(name, QCmdLineArgument::StoreTrue, help));
}

void QCmdLineParser::disableHelpOption() {
  if (!d->helpEnabled) return;
  d->helpEnabled = false;
  d->named.removeFirst();
  d->index.remove(QStringLiteral("-h"));
  d->index.remove(QStringLiteral("--help"));
  for (int &position : d->index) --position;
}

QString QCmdLineParser::usage() const { return d->usageFor(d->applicationName); }

QString QCmdLineParser::help() const {
  QStringList columns;
  int width = 0;
  for (const QCmdLineArgument &option : d->named) {
    columns.append(namesColumn(option));
    width = qMax(width, static_cast<int>(columns.last().size()));
  }
  QString text;
  QTextStream out(&text);
  out.setFieldAlignment(QTextStream::AlignLeft);
  out << usage() << "\n\n";
  if (!d->description.isEmpty()) out << d->description << "\n\n";
  out << tr("Optional arguments:\n");
  for (int i = 0; i < columns.size(); ++i) {
    out << "  " << qSetFieldWidth(width) << columns.at(i) << qSetFieldWidth(0) << "  " << d->named.at(i).help() << "\n";
  }
  out.flush();
  return text;
}

QMap<QString, QVariant> QCmdLineParser::parse(const QStringList &args, QString *error) const {
  const ParseRun run(*d, args);
  if (run.failed()) {
    if (error != nullptr) {
      *error = run.error();
      return QMap<QString, QVariant>();
    }
    const QString program = args.value(0);
    printLocal(d->usageFor(d->applicationName.isNull() ? program : d->applicationName));
    printLocal(program + QLatin1String(": ") + run.error());
    exit(1);
  }
  if (d->helpEnabled && (run.result().contains(QStringLiteral("h")) || run.result().contains(QStringLiteral("help")))) {
    printLocal(help());
    exit(0);
  }
  return run.result();
}

QMap<QString, QVariant> QCmdLineParser::parse(int argc, const char **argv, QString *error) const {
  QStringList args;
  for (int i = 0; argv != nullptr && i < argc; ++i) {
    appendSplit(args, argv[i] == nullptr ? QString() : QString::fromLocal8Bit(argv[i]));
  }
  return parse(args, error);
}
