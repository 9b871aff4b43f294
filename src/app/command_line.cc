#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

namespace qelvu {

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromLocal8Bit(argument);
  QCoreApplication::setApplicationName(QStringLiteral("qelvu"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QELVU_VERSION));
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Qelvu network TV: a channel directory site and M3U/M3U8 playlists."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  parser.addPositionalArgument(
      QStringLiteral("FILE_OR_URL"),
      QStringLiteral("M3U/M3U8 playlists (files or http/https URLs) to add to the channel "
                     "sources and load at once."),
      QStringLiteral("[FILE_OR_URL...]"));

  TCommandLine command;
  if (!parser.parse(list)) {
    command.action = TCommandLine::TAction::FailAndExit;
    command.text = "qelvu: " + parser.errorText().toStdString() + "\n" +
                   "Try 'qelvu --help' for more information.\n";
  } else if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
    // --help-all, which the help option brings along, must not start the window either.
    command.action = TCommandLine::TAction::PrintAndExit;
    command.text = parser.helpText().toStdString();
  } else if (parser.isSet(version)) {
    command.action = TCommandLine::TAction::PrintAndExit;
    command.text = "qelvu " QELVU_VERSION "\n";
  } else {
    for (const QString& given : parser.positionalArguments()) {
      command.playlists.push_back(given.toLocal8Bit().toStdString());
    }
  }
  return command;
}

}  // namespace qelvu
