#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/UIColorManager.h"

#include <QFont>
#include <QMetaProperty>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A stand-in for a table or a cell that binds its colours.
class ColoredThing : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor primaryColor MEMBER primaryColor)
    Q_PROPERTY(QColor secondaryColor MEMBER secondaryColor)
    Q_PROPERTY(QColor textColor MEMBER textColor)
    Q_PROPERTY(QColor secondaryTextColor MEMBER secondaryTextColor)
public:
    QColor primaryColor, secondaryColor, textColor, secondaryTextColor;
};

QColor grey(float w, float a = 1) { return QColor::fromRgbF(w, w, w, a); }

}  // namespace

TEST(UIColorManager, OneSharedInstanceWithItsDefaults)
{
    UIColorManager* colors = UIColorManager::sharedManager();
    EXPECT_EQ(colors, UIColorManager::sharedManager());
    EXPECT_EQ(colors->waveformBackgroundColor(), grey(0.26f));
    EXPECT_EQ(colors->previewBackgroundColor(), grey(0.18f));
    EXPECT_EQ(colors->selectionColor(), QColor::fromRgbF(0, 0.38f, 1));
    EXPECT_EQ(colors->createButtonColor(), QColor::fromRgbF(1, 0.5f, 0));
    // Black at 0.6 alpha, not a grey: over a coloured row it tints with the row.
    EXPECT_EQ(colors->tableSecondaryTextColor(), grey(0, 0.6f));
    EXPECT_EQ(colors->tablePrimaryColor(), grey(0.95f));
}

TEST(UIColorManager, BoundPropertiesFollowEveryChange)
{
    UIColorManager* colors = UIColorManager::sharedManager();
    const QColor original = colors->tablePrimaryColor();
    ColoredThing table;
    UIColorManager::bindTableViewToColors(&table);
    EXPECT_EQ(table.primaryColor, original);
    EXPECT_EQ(table.secondaryColor, colors->tableSecondaryColor());

    colors->setTablePrimaryColor(Qt::red);
    EXPECT_EQ(table.primaryColor, QColor(Qt::red));
    colors->setTablePrimaryColor(original);
    EXPECT_EQ(table.primaryColor, original);

    ColoredThing cell;
    UIColorManager::bindDetailedCellToColors(&cell);
    EXPECT_EQ(cell.textColor, colors->tableTextColor());
    EXPECT_EQ(cell.secondaryTextColor, colors->tableSecondaryTextColor());
}

TEST(UIColorManager, BindingEndsWithTheTargetAndRefusesUnknownProperties)
{
    UIColorManager* colors = UIColorManager::sharedManager();
    const QColor original = colors->selectionColor();
    {
        ColoredThing gone;
        EXPECT_TRUE(bindProperty(&gone, "primaryColor", colors, "selectionColor"));
    }
    colors->setSelectionColor(Qt::green);  // must not write into the destroyed target
    colors->setSelectionColor(original);

    ColoredThing thing;
    EXPECT_FALSE(bindProperty(&thing, "primaryColor", colors, "noSuchColor"));
    EXPECT_FALSE(bindProperty(&thing, "noSuchProperty", colors, "selectionColor"));
    EXPECT_FALSE(thing.primaryColor.isValid());
}

// Every named colour, set through its property as a binding sees it, reaches
// the views bound to that colour and no others.
TEST(UIColorManager, EachColourAnnouncesItsOwnChange)
{
    UIColorManager* colors = UIColorManager::sharedManager();
    const QMetaObject& meta = UIColorManager::staticMetaObject;
    std::vector<QByteArray> names;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        names.emplace_back(meta.property(i).name());
    ASSERT_EQ(names.size(), 13u);

    // One bound view and one listener per colour.
    std::vector<std::unique_ptr<ColoredThing>> views;
    std::vector<std::unique_ptr<QSignalSpy>> announcements;
    for (const QByteArray& name : names) {
        views.push_back(std::make_unique<ColoredThing>());
        ASSERT_TRUE(bindProperty(views.back().get(), "primaryColor", colors, name.constData()));
        announcements.push_back(std::make_unique<QSignalSpy>(colors, meta.property(meta.indexOfProperty(name)).notifySignal()));
    }
    for (std::size_t changed = 0; changed < names.size(); ++changed) {
        const QColor original = colors->property(names[changed]).value<QColor>();
        const QColor fresh = QColor::fromRgb(int(changed) * 7, 200, 100);
        for (auto& spy : announcements)
            spy->clear();
        ASSERT_TRUE(colors->setProperty(names[changed], fresh));
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto where = [&] { return ::testing::Message() << names[i].constData() << " after setting " << names[changed].constData(); };
            EXPECT_EQ(announcements[i]->count(), i == changed ? 1 : 0) << where();
            const QColor expected = i == changed ? fresh : colors->property(names[i]).value<QColor>();
            EXPECT_EQ(views[i]->primaryColor, expected) << where();
        }
        colors->setProperty(names[changed], original);
        EXPECT_EQ(views[changed]->primaryColor, original);
    }
}

TEST(UIColorManager, ControlTitleKeepsTheButtonFont)
{
    QFont bold(QStringLiteral("Lucida Grande"));
    bold.setPixelSize(13);
    bold.setBold(true);
    const StyledText title = UIColorManager::controlTitle(QStringLiteral("Create"), bold);
    EXPECT_EQ(title.text, QStringLiteral("Create"));
    EXPECT_TRUE(title.font.bold());
    EXPECT_EQ(title.font.pixelSize(), 13);
    EXPECT_EQ(title.color, QColor(Qt::white));
    EXPECT_EQ(title.shadow.offset, QPointF(0, 1));
    EXPECT_EQ(title.shadow.blurRadius, 1);
    EXPECT_EQ(title.shadow.color, grey(0, 0.6f));
}

#include "ColorManagerTests.moc"
