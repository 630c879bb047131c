#pragma once

#include "../PanelFixture.h"
#include "platform/fakes/FakeLoginItem.h"
#include "settings/SettingsView.h"

#include <QTest>

// A settings panel over a temporary history and store with a scriptable login item. The panel is made
// on first use, so a test can prepare the history and the store before it exists.
struct SettingsFixture : PanelFixture
{
    FakeLoginItem loginItem;
    std::unique_ptr<SettingsView> settings;
    // Called with the panel when it is made.
    std::function<void(SettingsView&)> made;

    SettingsView& view()
    {
        if (!settings) {
            settings = std::make_unique<SettingsView>(*history, intents(), preferences);
            if (made)
                made(*settings);
        }
        return *settings;
    }

    SettingsView& shownView()
    {
        view().show();
        if (!QTest::qWaitForWindowExposed(settings.get()))
            qFatal("the settings panel was never shown");
        return *settings;
    }

    template<typename T = QWidget>
    T* find(const QString& name)
    {
        auto* found = view().findChild<T*>(name);
        if (!found)
            qFatal("no widget %s", qPrintable(name));
        return found;
    }

    void click(const QString& name) { QTest::mouseClick(find<QWidget>(name), Qt::LeftButton); }
};
