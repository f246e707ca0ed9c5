// A main window on its own store, against a stand-in mail service, in a folder of pictures.
#pragma once

#include "app/frmMain.h"
#include "app/icons/CountBadge.h"
#include "settings/Store.h"
#include "tests/check/MailServiceProcess.h"
#include "tests/fixtures/Wait.h"
#include "tests/support/WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace testing_support {

class CheckFixture : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        previousDirectory_ = QDir::currentPath();
        ASSERT_TRUE(pictures_.isValid());
        QDir::setCurrent(pictures_.path());
    }

    void TearDown() override
    {
        WindowFixture::TearDown();
        QDir::setCurrent(previousDirectory_);
        environment_.clear();
    }

    // The three pictures in the current directory, as the program finds them.
    [[nodiscard]] bool ProvidePictures()
    {
        for (const char* name : { "aclock.ico", "face02.ico", "face04.ico" }) {
            const QString from = QString(QUORVEL_PICTURE_DIR) + "/" + name;
            if (!QFile::copy(from, QDir(pictures_.path()).filePath(name))) {
                ADD_FAILURE() << "cannot copy " << from.toStdString();
                return false;
            }
        }
        return true;
    }

    // Stored before the window opens, so that it lists them in this order. A helper cannot end
    // the test that calls it: the test asserts on the result.
    [[nodiscard]] static bool StoreAccount(const std::string& name, const std::string& user,
        const std::string& password, const std::string& host = "Hotmail")
    {
        settings::TAccount a;
        a.Name = name;
        a.Info = "info of " + name;
        a.Host = host;
        a.UserName = user;
        a.Password = password;
        a.LastChecked = "N/A";
        a.Status = "N/A";
        return settings::SaveAccount(a);
    }

    static settings::TAccountFields Stored(const std::string& name) { return settings::LoadAccount(name); }

    // False when the service did not come up listening.
    [[nodiscard]] bool StartService(const QStringList& arguments)
    {
        service = std::make_unique<MailServiceProcess>(arguments);
        SetEnvironment("QUORVEL_LOGIN_HOST", service->address());
        SetEnvironment("QUORVEL_HOMEPAGE", "http://" + service->address() + "/quorvel/");
        return service->port() > 0;
    }

    void SetEnvironment(const char* name, const std::string& value)
    {
        environment_.push_back(std::make_unique<ScopedEnvironment>(name, value));
    }

    // True when the tray icon shows the picture of this file.
    bool TrayShows(const QString& fileName)
    {
        QImageReader reader(QString(QUORVEL_PICTURE_DIR) + "/" + fileName);
        const QImage expected = reader.read().convertToFormat(QImage::Format_ARGB32);
        const QImage shown
            = form->trayIcon->Icon().icon().pixmap(expected.size()).toImage().convertToFormat(QImage::Format_ARGB32);
        return !expected.isNull() && shown == expected;
    }

    // True when the tray icon shows "face02.ico" with the badge of `total`, at the smallest and
    // the largest size it is drawn at.
    bool TrayShowsCount(int total)
    {
        const QImage face = QImageReader(QString(QUORVEL_PICTURE_DIR) + "/face02.ico").read();
        for (int size : { 16, 32 }) {
            const QImage expected = pictures::WithCountBadge(face, size, total);
            const QImage shown = form->trayIcon->Icon()
                                     .icon()
                                     .pixmap(QSize(size, size), 1.0)
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32);
            if (face.isNull() || shown != expected)
                return false;
        }
        return true;
    }

    QImage TrayImage()
    {
        return form->trayIcon->Icon().icon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    }

    // Runs `action` once the event loop has been running for `ms` milliseconds (inside a wait).
    static void After(int ms, std::function<void()> action) { QTimer::singleShot(ms, std::move(action)); }

    std::vector<std::string> ErrorTexts()
    {
        std::vector<std::string> texts;
        for (const auto& m : dialogs->messages)
            texts.push_back(m.text.toStdString());
        return texts;
    }

    std::unique_ptr<MailServiceProcess> service;

private:
    QString previousDirectory_;
    QTemporaryDir pictures_;
    std::vector<std::unique_ptr<ScopedEnvironment>> environment_;
};

} // namespace testing_support
