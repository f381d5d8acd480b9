#include "tv/TVApp.h"

#include "protocol/AppLinks.h"

namespace telvanto::tv {

namespace {

TVApp app(const char* name, const char* package, TVApp::Color color, const char* symbol)
{
    const QString id = QString::fromLatin1(package);
    return TVApp{QString::fromUtf8(name), id, color, QString::fromLatin1(symbol),
                 QString::fromStdString(protocol::launchLink(package))};
}

} // namespace

const QList<TVApp>& TVApp::catalogue()
{
    static const QList<TVApp> apps = {
        app("YouTube", "com.google.android.youtube.tv", {1.0, 0.23, 0.19}, "play.rectangle.fill"), // a strong red like the system's
        app("Netflix", "com.netflix.ninja", {0.75, 0.03, 0.08}, "n.square.fill"),
        app("VOYO", "net.cme.voyo.sk.tvapp", {0.36, 0.30, 0.95}, "v.square.fill"),
        app("HBO Max", "com.wbd.stream", {0.30, 0.12, 0.75}, "h.square.fill"),
        app("Disney+", "com.disney.disneyplus", {0.05, 0.35, 0.55}, "sparkles.tv.fill"),
        app("SmartTube", "org.smarttube.stable", {0.85, 0.15, 0.15}, "s.square.fill"),
        app("Spotify", "com.spotify.tv.android", {0.11, 0.73, 0.33}, "music.note"),
        app("AirScreen", "com.ionitech.airscreen", {0.10, 0.60, 0.55}, "airplayvideo"),
    };
    return apps;
}

const TVApp* TVApp::find(const QString& package)
{
    for (const TVApp& entry : catalogue()) {
        if (entry.package == package) return &entry;
    }
    return nullptr;
}

} // namespace telvanto::tv
