#include "servicepages.h"

#include "signalwav.h"
#include "tonestream.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>

namespace {

const QByteArray kHtml = QByteArrayLiteral("text/html; charset=utf-8");

// Pages load nothing from elsewhere; only the player pages may reach out, and only for audio. The
// station page also tells its own service which station plays.
const QByteArray kPlainPolicy =
    QByteArrayLiteral("default-src 'none'; style-src 'unsafe-inline'; img-src data:");
const QByteArray kScriptPolicy = QByteArrayLiteral(
    "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:");
const QByteArray kPlayerPolicy =
    QByteArrayLiteral("default-src 'none'; style-src 'unsafe-inline'; "
                      "script-src 'unsafe-inline'; img-src data:; media-src 'self' http: https:");
const QByteArray kStationsPolicy = kPlayerPolicy + "; connect-src 'self'";

struct Station
{
    const char16_t *id; // what the service remembers a listener by; never changes
    const char16_t *name;
    const char16_t *about;
    const char16_t *url;
    bool loops = false;
};

const QString kSignalId = QStringLiteral("signal");
constexpr int kSignalSampleRate = 22050;

// Long-lived public streams of well-known broadcasters, and the service's own signal and stream,
// which play without the internet from either host.
const Station kStations[] = {
    {u"bbc-world-service", u"BBC World Service", u"Новости и передачи на английском языке",
     u"http://stream.live.vc.bbcmedia.co.uk/bbc_world_service"},
    {u"fip", u"FIP", u"Эклектичная музыка от Radio France", u"https://icecast.radiofrance.fr/fip-midfi.mp3"},
    {u"swiss-classic", u"Radio Swiss Classic", u"Классическая музыка, SRG SSR",
     u"https://stream.srg-ssr.ch/m/rsc_de/mp3_128"},
    {u"radio-paradise", u"Radio Paradise", u"Рок, инди и электроника без рекламы",
     u"https://stream.radioparadise.com/mp3-128"},
    {u"groove-salad", u"SomaFM Groove Salad", u"Эмбиент и даунтемпо",
     u"https://ice1.somafm.com/groovesalad-128-mp3"},
    {u"kexp", u"KEXP 90.3 FM", u"Общественное радио Сиэтла",
     u"https://kexp-mp3-128.streamguys1.com/kexp128.mp3"},
    {u"signal", u"Тестовый сигнал Ондаво", u"Работает без интернета: сигнал самого сервиса", u"/signal.wav",
     true},
    {u"stream", u"Тестовый поток Ондаво", u"Бесконечный поток самого сервиса: ровный тон", u"/stream.wav"},
};

constexpr qint64 kDayMs = 24 * 3600 * 1000;
// How far ahead of now a wake-up may be.
constexpr qint64 kMaxAheadMs = 8 * kDayMs;

// The station's id as one shared string, so remembering it costs a listener nothing; null when
// there is no such station.
QString stationId(const QString &id)
{
    static const QStringList ids = [] {
        QStringList list;
        for (const Station &s : kStations)
            list.append(QString::fromUtf16(s.id));
        return list;
    }();
    const qsizetype at = ids.indexOf(id);
    return at < 0 ? QString() : ids.at(at);
}

// Counted as a person counts characters: a surrogate pair is one.
bool tooLong(const QString &text)
{
    const auto pairs = std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c.isLowSurrogate(); });
    return text.size() - pairs > ListenerMemory::kMaxName;
}

QString stationList()
{
    QString list;
    for (const Station &s : kStations) {
        const QString name = ServicePages::htmlEscape(QString::fromUtf16(s.name));
        list +=
            QStringLiteral("<li><button type=\"button\" data-id=\"%1\" data-name=\"%2\" data-url=\"%3\"%4>"
                           "<span class=\"name\">%2</span><span class=\"about\">%5</span></button></li>\n")
                .arg(QString::fromUtf16(s.id), name, ServicePages::htmlEscape(QString::fromUtf16(s.url)),
                     s.loops ? QStringLiteral(" data-loop") : QString(),
                     ServicePages::htmlEscape(QString::fromUtf16(s.about)));
    }
    return list;
}

// The first value of key in the query; empty when it is missing.
QString firstValue(const QList<QPair<QString, QString>> &items, QLatin1String key)
{
    for (const auto &[k, value] : items) {
        if (k == key)
            return value;
    }
    return QString();
}

QString statusText(int status)
{
    switch (status) {
    case 400:
        return QStringLiteral("Неверный запрос.");
    case 403:
        return QStringLiteral("Это имя занято: пароль не тот.");
    case 404:
        return QStringLiteral("Страница не найдена.");
    case 405:
        return QStringLiteral("Такой запрос не поддерживается.");
    case 411:
        return QStringLiteral("Нужна длина тела запроса.");
    case 413:
        return QStringLiteral("Тело запроса слишком велико.");
    case 414:
        return QStringLiteral("Адрес запроса слишком длинный.");
    case 429:
        return QStringLiteral("Слишком много соединений с вашего адреса.");
    case 431:
        return QStringLiteral("Заголовки запроса слишком велики.");
    default:
        return status >= 500 ? QStringLiteral("Сервис временно недоступен.")
                             : QStringLiteral("Запрос не выполнен.");
    }
}

PageResponse page(const QString &name, const QHash<QString, QString> &values, const QByteArray &policy)
{
    QFile file(QStringLiteral(":/service/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return ServicePages::errorPage(500);
    PageResponse r;
    r.contentType = kHtml;
    r.body = ServicePages::fillTemplate(QString::fromUtf8(file.readAll()), values).toUtf8();
    r.headers = {{"Content-Security-Policy", policy},
                 {"Cache-Control", "no-store"},
                 {"X-Content-Type-Options", "nosniff"}};
    return r;
}

// %XX becomes the byte; a '%' not followed by two hex digits stays as it is (fromPercentEncoding
// would make up a byte from it).
QByteArray percentDecode(const QByteArray &text)
{
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

ListenerMemory::ListenerMemory(qsizetype recent, qsizetype sleepers, const QString &statePath,
                               qint64 stateBytes)
    : m_recentCapacity(std::max<qsizetype>(recent, 1)), m_sleeperCapacity(std::max<qsizetype>(sleepers, 1)),
      m_store(statePath, stateBytes)
{
    if (!m_store.error().isEmpty())
        return;
    // Expired ones go at the first request, from the file as well.
    for (const StateStore::WakeUp &w : m_store.wakeUps(m_sleeperCapacity)) {
        const auto sleeper = m_sleepers.insert(w.user, Sleeper{stationId(w.station), {}});
        sleeper->due = m_byDue.emplace(w.forgetMs, sleeper.key());
    }
}

QByteArray ListenerMemory::keyOf(const QString &password) const
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(m_store.salt());
    hash.addData(password.toUtf8());
    return hash.result();
}

void ListenerMemory::bind(const QString &user, const QString &password)
{
    // A listener held here came after its name was bound.
    if (!user.isEmpty() && !m_recent.contains(user) && !m_sleepers.contains(user))
        m_store.bind(user, keyOf(password));
}

void ListenerMemory::expire(qint64 nowMs)
{
    if (m_byDue.empty() || m_byDue.begin()->first > nowMs)
        return;
    m_store.begin();
    while (!m_byDue.empty() && m_byDue.begin()->first <= nowMs) {
        m_store.dropWakeUp(m_byDue.begin()->second, m_byDue.begin()->first);
        m_sleepers.remove(m_byDue.begin()->second);
        m_byDue.erase(m_byDue.begin());
    }
    // Rows left behind by a failure are read again, and expire again.
    m_store.commit();
}

ListenerMemory::Listener &ListenerMemory::touch(const QString &user)
{
    const auto found = m_recent.find(user);
    if (found != m_recent.end()) {
        m_byAge.splice(m_byAge.end(), m_byAge, found->age);
        return *found;
    }
    if (m_recent.size() >= m_recentCapacity) {
        m_recent.remove(m_byAge.front());
        m_byAge.pop_front();
    }
    // A decoded name carries spare room for the longest text its bytes could have made.
    m_byAge.push_back(QString(user.constData(), user.size()));
    Listener &listener = m_recent[m_byAge.back()];
    listener.age = std::prev(m_byAge.end());
    return listener;
}

int ListenerMemory::refusal(const QString &user, const QString &password, bool sleep, qint64 nowMs)
{
    expire(nowMs);
    if (!user.isEmpty()) {
        const std::optional<QByteArray> bound = m_store.binding(user);
        if (!bound)
            return 503;
        if (!bound->isEmpty() && *bound != keyOf(password))
            return 403;
        // No binding is ever given up to make room for a new one.
        if (bound->isEmpty() && !m_store.hasRoom())
            return 503;
    }
    // Only a new sleeper needs room; an old wake-up is never given up for it.
    if (sleep && !m_sleepers.contains(user) && m_sleepers.size() >= m_sleeperCapacity)
        return 503;
    return 0;
}

bool ListenerMemory::played(const QString &user, const QString &password, const QString &station,
                            qint64 nowMs)
{
    expire(nowMs);
    const auto sleeper = m_sleepers.find(user);
    m_store.begin();
    bind(user, password);
    if (sleeper != m_sleepers.end())
        m_store.putWakeUp(user, station, sleeper->due->first);
    if (!m_store.commit())
        return false;
    // The guest's session is everybody's: it is never taken up again.
    const bool unfinished = !user.isEmpty();
    if (sleeper != m_sleepers.end()) {
        sleeper->station = station;
        sleeper->unfinished = unfinished;
    } else {
        Listener &listener = touch(user);
        listener.station = station;
        listener.unfinished = unfinished;
    }
    return true;
}

bool ListenerMemory::slept(const QString &user, const QString &password, qint64 wakeUpMs, qint64 nowMs)
{
    expire(nowMs);
    auto sleeper = m_sleepers.find(user);
    const auto listener = m_recent.find(user);
    const QString station = sleeper != m_sleepers.end()  ? sleeper->station
                            : listener != m_recent.end() ? listener->station
                                                         : QString();
    const qint64 forget = wakeUpMs + kDayMs;
    m_store.begin();
    bind(user, password);
    m_store.putWakeUp(user, station, forget);
    if (!m_store.commit())
        return false;
    if (sleeper == m_sleepers.end()) {
        // The sleeper leaves the recent listeners, where others' requests could push it out.
        if (listener != m_recent.end()) {
            m_byAge.erase(listener->age);
            m_recent.erase(listener);
        }
        sleeper = m_sleepers.insert(QString(user.constData(), user.size()), Sleeper{station, {}});
    } else {
        m_byDue.erase(sleeper->due);
        sleeper->unfinished = false;
    }
    sleeper->due = m_byDue.emplace(forget, sleeper.key());
    return true;
}

bool ListenerMemory::loggedIn(const QString &user, const QString &password, qint64 nowMs,
                              std::optional<QString> *start)
{
    return leaveSleep(user, password, nowMs, false, start);
}

bool ListenerMemory::loggedOff(const QString &user, const QString &password, qint64 nowMs)
{
    return leaveSleep(user, password, nowMs, true, nullptr);
}

bool ListenerMemory::leaveSleep(const QString &user, const QString &password, qint64 nowMs, bool logoff,
                                std::optional<QString> *start)
{
    expire(nowMs);
    const auto sleeper = m_sleepers.find(user);
    m_store.begin();
    bind(user, password);
    if (sleeper != m_sleepers.end())
        m_store.dropWakeUp(user, sleeper->due->first);
    if (!m_store.commit())
        return false;
    std::optional<QString> wake;
    bool unfinished = false;
    if (sleeper != m_sleepers.end()) {
        wake = sleeper->station;
        unfinished = sleeper->unfinished;
        m_byDue.erase(sleeper->due);
        m_sleepers.erase(sleeper);
    }
    Listener &listener = touch(user);
    if (wake) {
        listener.station = *wake;
        listener.unfinished = unfinished;
    }
    if (logoff)
        listener.unfinished = false;
    if (start)
        *start = wake ? wake : listener.unfinished ? std::optional<QString>(listener.station) : std::nullopt;
    return true;
}

ServicePages::ServicePages(const QString &statePath) : m_listeners(10000, 10000, statePath) {}

void ServicePages::setFailure(const QString &path, int status)
{
    m_failures.insert(path, status);
}

PageResponse ServicePages::respond(const QByteArray &method, const QString &path, const QByteArray &rawQuery)
{
    const auto failure = m_failures.constFind(path);
    if (failure != m_failures.cend())
        return errorPage(*failure);
    if (method != "GET" && method != "HEAD") {
        PageResponse r = errorPage(405);
        r.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
        return r;
    }
    // A HEAD is a look, not a visit: it changes nothing a later login gets.
    const bool record = method == "GET";
    if (path == QLatin1String("/redirector/"))
        return redirector(rawQuery, record);
    if (path == QLatin1String("/clock/default/"))
        return page(QStringLiteral("clock.html"), {}, kScriptPolicy);
    if (path == QLatin1String("/export/radio_player.html"))
        return page(QStringLiteral("partner.html"), {{QStringLiteral("STATIONS"), stationList()}},
                    kPlayerPolicy);
    if (path == QLatin1String("/played"))
        return played(rawQuery, record);
    if (path == QLatin1String("/index.php"))
        return site(rawQuery);
    if (path == QLatin1String("/signal.wav")) {
        static const QByteArray wav = signalWav(kSignalSampleRate);
        PageResponse r;
        r.contentType = QByteArrayLiteral("audio/wav");
        r.body = wav;
        r.headers = {{"Cache-Control", "max-age=86400"}, {"X-Content-Type-Options", "nosniff"}};
        return r;
    }
    if (path == QLatin1String("/stream.wav")) {
        static const QByteArray header = endlessWavHeader(ToneStream::kSampleRate);
        PageResponse r;
        r.contentType = QByteArrayLiteral("audio/wav");
        r.body = header;
        r.endless = true;
        r.headers = {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}};
        return r;
    }
    return errorPage(404);
}

PageResponse ServicePages::redirector(const QByteArray &rawQuery, bool record)
{
    QStringList actions;
    QString userName;
    QString password;
    QString upTime;
    bool seenUser = false;
    bool seenPassword = false;
    bool seenUpTime = false;
    for (const auto &[key, value] : parseQuery(rawQuery)) {
        if (key == QLatin1String("action")) {
            actions.append(value);
        } else if (key == QLatin1String("username") && !seenUser) {
            userName = value;
            seenUser = true;
        } else if (key == QLatin1String("passw") && !seenPassword) {
            password = value;
            seenPassword = true;
        } else if (key == QLatin1String("uptime") && !seenUpTime) {
            upTime = value;
            seenUpTime = true;
        }
    }
    // A second action key means a value leaked into the query unencoded: which one was meant is
    // unknowable, so the request is refused rather than guessed at.
    if (actions.size() != 1)
        return errorPage(400);
    const QString &action = actions.constFirst();
    const bool login = action == QLatin1String("login");
    const bool sleep = action == QLatin1String("sleep");
    if ((!login && !sleep && action != QLatin1String("logoff")) || tooLong(userName) || tooLong(password))
        return errorPage(400);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    // A sleep far ahead would hold its place in the table for good.
    const std::optional<qint64> latest = sleep ? latestMoment(upTime) : std::nullopt;
    if (latest && *latest - now > kMaxAheadMs)
        return errorPage(400);
    if (const int status = m_listeners.refusal(userName, password, sleep, now))
        return errorPage(status);

    if (login) {
        const QString greeting = userName.isEmpty()
                                     ? QStringLiteral("Вы слушаете как гость.")
                                     : QStringLiteral("Вы вошли как <b>%1</b>.").arg(htmlEscape(userName));
        // The login that ends a quiet sleep is the alarm: the page starts a station at once, and
        // the service's own signal when the listener never played one, so it always sounds. A
        // login into an unfinished session (the program reconnecting) starts its station the same
        // way.
        std::optional<QString> start;
        if (record && !m_listeners.loggedIn(userName, password, now, &start))
            return errorPage(503);
        const QString wakeStation = !start ? QString() : start->isEmpty() ? kSignalId : *start;
        // The page reports what plays under the same name and password.
        return page(QStringLiteral("stations.html"),
                    {{QStringLiteral("GREETING"), greeting},
                     {QStringLiteral("STATIONS"), stationList()},
                     {QStringLiteral("USER"), htmlEscape(userName)},
                     {QStringLiteral("PASSW"), htmlEscape(password)},
                     {QStringLiteral("WAKE_STATION"), wakeStation}},
                    kStationsPolicy);
    }
    if (!sleep) {
        // A program closed during its quiet sleep sends no wake-up: its next start must not ring,
        // nor take up the station it played before.
        if (record && !m_listeners.loggedOff(userName, password, now))
            return errorPage(503);
        return page(QStringLiteral("goodbye.html"), {}, kPlainPolicy);
    }
    // A wake-up time that names no date is taken for the next day's; one the listener's clock puts
    // in our past counts from now.
    if (record && !m_listeners.slept(userName, password, std::max(latest.value_or(now + kDayMs), now), now))
        return errorPage(503);
    const QString wakeUp = upTime.trimmed().isEmpty()
                               ? QStringLiteral("Время пробуждения не указано.")
                               : QStringLiteral("Радио включится в <b>%1</b>.").arg(htmlEscape(upTime));
    return page(QStringLiteral("sleep.html"), {{QStringLiteral("WAKEUP"), wakeUp}}, kPlainPolicy);
}

// The station page reports each station that starts playing. An unknown station is refused and
// changes nothing.
PageResponse ServicePages::played(const QByteArray &rawQuery, bool record)
{
    const QList<QPair<QString, QString>> items = parseQuery(rawQuery);
    const QString station = stationId(firstValue(items, QLatin1String("station")));
    const QString userName = firstValue(items, QLatin1String("username"));
    const QString password = firstValue(items, QLatin1String("passw"));
    if (station.isNull() || tooLong(userName) || tooLong(password))
        return errorPage(400);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (const int status = m_listeners.refusal(userName, password, false, now))
        return errorPage(status);
    if (record && !m_listeners.played(userName, password, station, now))
        return errorPage(503);
    PageResponse r;
    r.status = 204;
    r.headers = {{"Cache-Control", "no-store"}};
    return r;
}

// The program's web site: its home page and its download page, as the about page links them.
PageResponse ServicePages::site(const QByteArray &rawQuery)
{
    const QList<QPair<QString, QString>> items = parseQuery(rawQuery);
    if (firstValue(items, QLatin1String("action")) != QLatin1String("ondavo"))
        return errorPage(404);
    const QString subact = firstValue(items, QLatin1String("subact"));
    const QHash<QString, QString> values{{QStringLiteral("VERSION"), QStringLiteral(ONDAVO_PROGRAM_VERSION)}};
    if (subact.isEmpty())
        return page(QStringLiteral("site.html"), values, kPlainPolicy);
    if (subact == QLatin1String("download"))
        return page(QStringLiteral("download.html"), values, kPlainPolicy);
    return errorPage(404);
}

PageResponse ServicePages::errorPage(int status)
{
    PageResponse r;
    r.status = status;
    r.contentType = kHtml;
    const QString text = QStringLiteral("<!doctype html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
                                        "<link rel=\"icon\" href=\"data:,\"><title>Ошибка %1</title></head>\n"
                                        "<body><h1>Ошибка %1</h1><p>%2</p></body></html>\n")
                             .arg(status)
                             .arg(statusText(status));
    r.body = text.toUtf8();
    r.headers = {{"Content-Security-Policy", kPlainPolicy},
                 {"Cache-Control", "no-store"},
                 {"X-Content-Type-Options", "nosniff"}};
    return r;
}

QList<QPair<QString, QString>> ServicePages::parseQuery(const QByteArray &rawQuery)
{
    QList<QPair<QString, QString>> items;
    if (rawQuery.isEmpty())
        return items;
    const auto decode = [](const QByteArray &part) { return QString::fromUtf8(percentDecode(part)); };
    for (const QByteArray &item : rawQuery.split('&')) {
        if (item.isEmpty())
            continue;
        const qsizetype eq = item.indexOf('=');
        if (eq < 0)
            items.append({decode(item), QString()});
        else
            items.append({decode(item.left(eq)), decode(item.mid(eq + 1))});
    }
    return items;
}

QString ServicePages::htmlEscape(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<qint64> ServicePages::latestMoment(const QString &text)
{
    // The locale's short date has a four-digit year first or last (the program widens two-digit
    // ones); the day and the month may come in either order, so the later reading counts.
    static const QRegularExpression date(QStringLiteral(
        "(\\d{4})[./\\- ]+(\\d{1,2})[./\\- ]+(\\d{1,2})|(\\d{1,2})[./\\- ]+(\\d{1,2})[./\\- ]+(\\d{4})"));
    static const QRegularExpression time(QStringLiteral("(\\d{1,2})[:.](\\d{2})"));
    static const QRegularExpression letter(QStringLiteral("\\p{L}"));
    const QRegularExpressionMatch d = date.match(text);
    if (!d.hasMatch())
        return std::nullopt;
    const bool yearFirst = d.capturedLength(1) > 0;
    const int year = d.captured(yearFirst ? 1 : 6).toInt();
    const int a = d.captured(yearFirst ? 2 : 4).toInt();
    const int b = d.captured(yearFirst ? 3 : 5).toInt();
    const QDate one(year, a, b);
    const QDate other(year, b, a);
    if (!one.isValid() && !other.isValid())
        return std::nullopt;
    const QDate day = !other.isValid() || (one.isValid() && one > other) ? one : other;
    QTime clock(0, 0);
    const QRegularExpressionMatch t = time.match(text, d.capturedEnd());
    if (t.hasMatch() && QTime(t.captured(1).toInt(), t.captured(2).toInt()).isValid()) {
        int hour = t.captured(1).toInt();
        // A word beside the time may mark the afternoon.
        if (hour < 12 && text.contains(letter))
            hour += 12;
        clock = QTime(hour, t.captured(2).toInt(), 59);
    }
    // The listener's zone is unknown: read the time as the westernmost zone's, UTC-12.
    return QDateTime(day, clock, QTimeZone::utc()).toMSecsSinceEpoch() + 12 * 3600 * 1000;
}

QByteArray ServicePages::maskedTarget(const QByteArray &target)
{
    const qsizetype mark = target.indexOf('?');
    if (mark < 0)
        return target;
    QByteArrayList items = target.mid(mark + 1).split('&');
    for (QByteArray &item : items) {
        // Keys count decoded, as the pages read them; an empty password hides nothing.
        const qsizetype eq = item.indexOf('=');
        if (eq > 0 && eq + 1 < item.size() && percentDecode(item.left(eq)) == "passw")
            item = item.left(eq + 1) + "***";
    }
    return target.left(mark + 1) + items.join('&');
}

QString ServicePages::fillTemplate(const QString &text, const QHash<QString, QString> &values)
{
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(QLatin1String("{{"), pos);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(QLatin1String("}}"), open + 2);
        if (close < 0)
            break;
        const QString name = text.mid(open + 2, close - open - 2);
        const bool isName = !name.isEmpty() && std::all_of(name.cbegin(), name.cend(), [](QChar c) {
            return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('_');
        });
        // Braces that are not a placeholder (script or style text) stay as they are; the search
        // goes on from the next brace, so "{{{A}}" still fills A.
        out += QStringView(text).mid(pos, (isName ? open : open + 1) - pos);
        if (isName)
            out += values.value(name);
        pos = isName ? close + 2 : open + 1;
    }
    out += QStringView(text).mid(pos);
    return out;
}
