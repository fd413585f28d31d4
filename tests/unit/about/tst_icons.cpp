// The window's icons load from the compiled-in resource with nothing but ondavo_resources linked,
// and each one draws something visible at the 16 × 16 size the image lists use.
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

namespace {

int opaquePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 128)
                ++count;
        }
    }
    return count;
}

QImage render(QSvgRenderer &renderer, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT
private slots:
    void drawsAtSmallSize_data();
    void drawsAtSmallSize();
    void mainIconScales();
};

void TestIcons::drawsAtSmallSize_data()
{
    QTest::addColumn<QString>("path");
    // A glyph needs a few strokes' worth of pixels to be legible; a round button covers most of its square.
    QTest::addColumn<int>("minOpaque");

    QTest::newRow("main icon") << ":/icons/ondavo.svg" << 60;
    QTest::newRow("player") << ":/icons/player.svg" << 80;
    QTest::newRow("player dark") << ":/icons/player-dark.svg" << 80;
    QTest::newRow("arrow") << ":/icons/arrow.svg" << 150;
    QTest::newRow("cog") << ":/icons/cog.svg" << 150;
    QTest::newRow("trefoil") << ":/icons/trefoil.svg" << 150;
    QTest::newRow("question") << ":/icons/question.svg" << 150;
    QTest::newRow("tick") << ":/icons/tick.svg" << 20;
    QTest::newRow("cross") << ":/icons/cross.svg" << 20;
}

void TestIcons::drawsAtSmallSize()
{
    QFETCH(QString, path);
    QFETCH(int, minOpaque);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    QSvgRenderer renderer(path);
    QVERIFY(renderer.isValid());

    const QImage image = render(renderer, 16);
    QVERIFY2(opaquePixels(image) >= minOpaque, qPrintable(QString::number(opaquePixels(image))));
    // Drawn on a transparent ground: the bottom-left pixel is the transparent colour of a glyph.
    QCOMPARE(qAlpha(image.pixel(0, 15)), 0);

    // The window takes them as QIcons, through the SVG icon engine.
    const QIcon icon(path);
    QVERIFY(!icon.isNull());
    const QImage fromIcon = icon.pixmap(16, 16).toImage();
    QCOMPARE(fromIcon.size(), QSize(16, 16));
    QVERIFY(opaquePixels(fromIcon) >= minOpaque);
}

void TestIcons::mainIconScales()
{
    QSvgRenderer renderer(QStringLiteral(":/icons/ondavo.svg"));
    QVERIFY(renderer.isValid());
    for (const int size : {16, 32, 48, 128}) {
        const QImage image = render(renderer, size);
        // The player is upright and narrower than tall, so it covers a fair share of the square.
        const double share = double(opaquePixels(image)) / (size * size);
        QVERIFY2(share > 0.35 && share < 0.8, qPrintable(QStringLiteral("%1 px: %2").arg(size).arg(share)));
    }
}

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
