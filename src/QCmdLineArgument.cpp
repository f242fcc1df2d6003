#include "KestroCmdLineParser.h"

class QCmdLineArgumentPrivate {
 public:
  QStringList names;
  QString keyName;  // null until set or first derived
  QString help;
  QCmdLineArgument::Action action;
  QRegExp validator;
  bool required = false;
};

QCmdLineArgument::QCmdLineArgument(const QString &name, Action action, const QString &help)
    : d(new QCmdLineArgumentPrivate) {
  d->names.append(name);
  d->help = help;
  d->action = action;
}

QCmdLineArgument::QCmdLineArgument(const char *name, Action action, const QString &help)
    : QCmdLineArgument(QString::fromUtf8(name), action, help) {}

QCmdLineArgument::QCmdLineArgument(const QCmdLineArgument &other) : d(new QCmdLineArgumentPrivate(*other.d)) {}

QCmdLineArgument &QCmdLineArgument::operator=(const QCmdLineArgument &other) {
  *d = *other.d;
  return *this;
}

QCmdLineArgument::~QCmdLineArgument() = default;

QString QCmdLineArgument::name() const { return d->names.first(); }

QStringList QCmdLineArgument::aliases() const { return d->names; }

QCmdLineArgument &QCmdLineArgument::addAlias(const QString &alias) {
  d->names.append(alias);
  return *this;
}

QString QCmdLineArgument::keyName() const {
  if (d->keyName.isNull()) {
    QString key = name();
    while (key.startsWith(QLatin1Char('-'))) key.remove(0, 1);
    // Never null again, even when the name is only dashes.
    d->keyName = key.isNull() ? QString::fromLatin1("") : key;
  }
  return d->keyName;
}

void QCmdLineArgument::setKeyName(const QString &keyName) { d->keyName = keyName; }

QString QCmdLineArgument::help() const { return d->help; }

void QCmdLineArgument::setHelp(const QString &help) { d->help = help; }

QCmdLineArgument::Action QCmdLineArgument::action() const { return d->action; }

void QCmdLineArgument::setValidator(const QRegExp &validator) { d->validator = validator; }

bool QCmdLineArgument::validate(const QString &value) const {
  return d->validator.isEmpty() || d->validator.exactMatch(value);
}

void QCmdLineArgument::setRequired(bool required) { d->required = required; }

bool QCmdLineArgument::isRequired() const { return d->required; }
