#pragma once

#include "Xclip.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "platform/Preferences.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// What every real-clipboard test case starts from: a data folder, store and preferences of its own, the
// pasteboard under test and a monitoring ClipboardMonitor over it, all made afresh in init() and gone
// after cleanup(), so that nothing of one case reaches the next.
template<typename PasteboardType>
class RealClipboardTest : public QObject
{
protected:
    // Builds the case's surroundings around pasteboard and starts monitoring.
    void setUpCase(std::unique_ptr<PasteboardType> pasteboard)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_storage = std::make_unique<StorageManager>(m_dir->filePath(QStringLiteral("Pellamor")));
        m_preferences = std::make_unique<Preferences>(m_dir->filePath(QStringLiteral("Pellamor.conf")));
        m_pasteboard = std::move(pasteboard);
        m_history = std::make_unique<HistoryModel>(*m_storage);
        m_monitor = std::make_unique<ClipboardMonitor>(*m_history, *m_pasteboard, *m_preferences);
        m_monitor->startMonitoring();
    }

    // Stops monitoring, finishes the store's work and takes everything down, the pasteboard with
    // whatever it still owns included.
    void tearDownCase()
    {
        if (m_monitor)
            m_monitor->stopMonitoring();
        if (m_storage)
            m_storage->waitForBackgroundWork();
        m_monitor.reset();
        m_history.reset();
        m_pasteboard.reset();
        m_storage.reset();
        m_preferences.reset();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<PasteboardType> m_pasteboard;
    std::unique_ptr<HistoryModel> m_history;
    std::unique_ptr<ClipboardMonitor> m_monitor;
};

// The same on the X11 clipboard of an X server of its own, with xclip as the other application.
template<typename PasteboardType>
class X11ClipboardTest : public RealClipboardTest<PasteboardType>
{
protected:
    // Skips every case unless this process runs on the xcb platform and xclip is installed; called last
    // in initTestCase().
    static void skipWithoutX11()
    {
        if (QGuiApplication::platformName() != u"xcb")
            QSKIP("needs the xcb platform on an X server of its own (run through run-under-xvfb.sh)");
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
            QSKIP("xclip is not installed");
    }

    // Takes the case down, and with it every xclip it started. Nothing of this case may reach the next
    // one: gives up whatever this process still owns and lets the resulting clipboard events arrive while
    // no monitor listens.
    void tearDownX11Case()
    {
        this->tearDownCase();
        m_xclip.stopOwners();
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        QTest::qWait(200);
        this->m_dir.reset();
    }

    Xclip m_xclip;
};
