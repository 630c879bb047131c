#pragma once

#include <QObject>
#include <QString>

class QWindow;

// The desktop's own save dialog through the XDG desktop portal (org.freedesktop.portal.FileChooser),
// asked over the session bus. Everything is asynchronous: saveFile() returns at once and exactly one of
// chosen(), cancelled() or unavailable() follows. unavailable() means the session has no portal file
// chooser (no bus, no portal, no backend for it, or it failed); the caller then shows a dialog of its own.
class PortalFileChooser : public QObject
{
    Q_OBJECT

public:
    static constexpr int answerTimeoutMs = 3000;

    explicit PortalFileChooser(QObject* parent = nullptr);

    void saveFile(QWindow* parent, const QString& title, const QString& suggestedName, const QString& folder);

Q_SIGNALS:
    void chosen(const QString& path);
    void cancelled();
    void unavailable();

private Q_SLOTS:
    void handleResponse(uint response, const QVariantMap& results);

private:
    void askToSave();
    void finishUnavailable();

    QString m_parentWindow;
    QString m_title;
    QString m_suggestedName;
    QString m_folder;
    QString m_requestPath;
    bool m_done = false;
};
