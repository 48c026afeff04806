#pragma once

#include "core/queryaddress.h"

#include <QObject>

class LiveModel;
class Tray;

// The tray's menu and tooltip follow the live model: a line for each
// favourite, then the friends online; choosing one asks for its server.
class LiveTray final : public QObject
{
    Q_OBJECT
public:
    LiveTray(const LiveModel &model, Tray &tray, QObject *parent = nullptr);

signals:
    void serverChosen(const ServerValues &server);

private:
    void show();

    const LiveModel &m_model;
    Tray &m_tray;
};
