#include "linksender/WebLink.h"

#include <QUrl>

#include <algorithm>

namespace telvanto::linksender {

namespace {

bool hasWebScheme(std::string_view text)
{
    return text.starts_with("https:") || text.starts_with("http:");
}

} // namespace

std::optional<WebLink> WebLink::parse(std::string_view text)
{
    // Checked on the raw text: QUrl lower-cases schemes, which would let "HTTPS:" through.
    if (!hasWebScheme(text) || text.size() > maxLength) return std::nullopt;

    const QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QUrl::TolerantMode);
    if (!url.isValid()) return std::nullopt;
    const QByteArray encoded = url.toEncoded(QUrl::FullyEncoded);
    std::string out(encoded.constData(), static_cast<std::size_t>(encoded.size()));
    if (!hasWebScheme(out) || out.size() > maxLength) return std::nullopt;
    if (out == "http:" || out == "https:") return std::nullopt; // a scheme and nothing to open
    if (!std::all_of(out.begin(), out.end(), [](char c) { return c > 0x20 && c < 0x7f; })) return std::nullopt;
    return WebLink(std::move(out), url.host().toStdString());
}

} // namespace telvanto::linksender
