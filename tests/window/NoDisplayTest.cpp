// tmx5 with no display to open: one clear line and exit code 2, not an
// abort from the toolkit.
#include <gtest/gtest.h>
#include <QProcess>
#include <QProcessEnvironment>

namespace {

struct Outcome {
    int exitCode;
    QProcess::ExitStatus status;
    QString err;
};

Outcome RunTmx5(const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TMX5_BINARY), QStringList());
    p.closeWriteChannel();
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitCode(), p.exitStatus(), QString::fromLocal8Bit(p.readAllStandardError())};
}

QProcessEnvironment Without(std::initializer_list<const char*> names) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* n : names) env.remove(QString::fromLatin1(n));
    return env;
}

} // namespace

TEST(NoDisplay, NoDisplayVariablesGiveOneLineAndExitCode2) {
    Outcome o = RunTmx5(Without({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}));
    EXPECT_EQ(o.status, QProcess::NormalExit);
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(o.err.count(QLatin1Char('\n')), 1) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains(QLatin1String("tmx5 run examples/tour.tmx"))) << o.err.toStdString();
}

TEST(NoDisplay, DisplayThatCannotBeOpenedGivesExitCode2NotAnAbort) {
    QProcessEnvironment env = Without({"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4093")); // no server there
    Outcome o = RunTmx5(env);
    EXPECT_EQ(o.status, QProcess::NormalExit);
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_TRUE(o.err.contains(QLatin1String("tmx5 run examples/tour.tmx"))) << o.err.toStdString();
}
