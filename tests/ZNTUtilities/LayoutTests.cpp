#include "ZNTUtilities/LayoutConstraint.h"
#include "ZNTUtilities/widgets/ViewAdditions.h"

#include <QLabel>
#include <gtest/gtest.h>

using namespace LayoutConstraints;

namespace {

struct Views {
    QObject parent;
    QObject* a = new QObject(&parent);
    QObject* b = new QObject(&parent);
    QHash<QString, QObject*> names{{"a", a}, {"b", b}};
};

}  // namespace

TEST(LayoutItems, FormatsTakeTheOptionsThatFollowThem)
{
    Views v;
    const unsigned baselines = layoutFormatAlignAll(LayoutAttribute::baseline);
    EXPECT_EQ(baselines, 2048u);
    const auto made = constraintsWithVisualFormatsAndOptions({QString("H:[a]-[b]"), 2048u, QString("H:[a]-[b]")}, {}, v.names);
    ASSERT_TRUE(made);
    // Each format: b.left = a.right + 8; the first also aligns the baselines.
    ASSERT_EQ(made->size(), 3);
    EXPECT_EQ((*made)[1].firstAttribute, LayoutAttribute::baseline);
    EXPECT_EQ((*made)[2].firstAttribute, LayoutAttribute::left);

    EXPECT_TRUE(constraintsWithVisualFormatsAndOptions({5u}, {}, v.names)->isEmpty());
    const LayoutConstraint c = constraintWithViewFixedWidth(v.a, 10), c1 = constraintWithViewFixedHeight(v.a, 5),
                           c2 = constraintPlacingView(v.b, v.a, 8);
    const auto walked = constraintsWithVisualFormatsAndOptions({std::monostate(), c, QList<LayoutConstraint>{c1, c2}}, {}, v.names);
    EXPECT_EQ(*walked, (QList<LayoutConstraint>{c, c1, c2}));
}

TEST(VisualFormat, EdgesSpacingsAndSizes)
{
    Views v;
    const auto made = constraintsWithVisualFormat("H:|-(m)-[a(>=0)]-[b(==50)]-(>=m)-|", 0, {{"m", 10}}, v.names);
    ASSERT_TRUE(made);
    const QList<LayoutConstraint> expected = {
        {v.a, LayoutAttribute::width, LayoutRelation::greaterThanOrEqual, nullptr, LayoutAttribute::notAnAttribute, 1, 0},
        {v.a, LayoutAttribute::left, LayoutRelation::equal, &v.parent, LayoutAttribute::left, 1, 10},
        {v.b, LayoutAttribute::width, LayoutRelation::equal, nullptr, LayoutAttribute::notAnAttribute, 1, 50},
        {v.b, LayoutAttribute::left, LayoutRelation::equal, v.a, LayoutAttribute::right, 1, 8},
        {&v.parent, LayoutAttribute::right, LayoutRelation::greaterThanOrEqual, v.b, LayoutAttribute::right, 1, 10},
    };
    EXPECT_EQ(*made, expected);
    const auto vertical = constraintsWithVisualFormat("V:|[a][b]", 0, {}, v.names);
    ASSERT_TRUE(vertical);
    EXPECT_EQ((*vertical)[0].firstAttribute, LayoutAttribute::top);
    EXPECT_EQ((*vertical)[1].constant, 0);
}

TEST(VisualFormat, MalformedFormatsAndUnknownNamesAreErrors)
{
    Views v;
    for (const char* format : {"H:[a]-[c]", "H:|-(x)-[a]", "H:[a", "H:[a]-", "H:[a]junk", "", "H:|-(==)-[a]"}) {
        tolvan::Error error;
        EXPECT_FALSE(constraintsWithVisualFormat(format, 0, {}, v.names, &error)) << format;
        EXPECT_TRUE(error.message.startsWith("Unable to parse constraint format")) << format;
    }
    QObject orphan;
    tolvan::Error error;
    EXPECT_FALSE(constraintsWithVisualFormat("H:|[o]|", 0, {}, {{"o", &orphan}}, &error));
    EXPECT_TRUE(error.message.contains("superview"));
    EXPECT_FALSE(constraintsWithVisualFormatsAndOptions({QString("H:[a]"), QString("H:[zz]")}, {}, v.names));
}

TEST(CenteringConstraints, NeedASuperview)
{
    Views v;
    const auto centred = horizontallyCenterView(v.a);
    ASSERT_TRUE(centred);
    EXPECT_EQ(centred->secondItem, &v.parent);
    EXPECT_EQ(centred->secondAttribute, LayoutAttribute::centerX);
    QObject orphan;
    tolvan::Error error;
    EXPECT_FALSE(verticallyCenterView(&orphan, &error));
    EXPECT_FALSE(error.message.isEmpty());
    EXPECT_FALSE(horizontallyCenterViewsInSuperviews({v.a, &orphan}));
    EXPECT_EQ(horizontallyCenterViewsInSuperviews({v.a, v.b})->size(), 2);
}

TEST(ConstraintSolver, LaysOutAStripAndCentres)
{
    Views v;
    QList<LayoutConstraint> constraints =
        *constraintsWithVisualFormat("H:|-(10)-[a]-[b]-(10)-|", 0, {}, v.names);
    constraints.append(constraintVerticallyCenteringView(v.a, &v.parent));
    constraints.append(constraintPlacingView(v.b, v.a, 8));
    SolverItems items;
    items.intrinsicSize = [](QObject*) { return QSizeF(40, 20); };
    const auto frames = solve(constraints, &v.parent, {200, 100}, items);
    EXPECT_EQ(frames[v.a], QRectF(10, 40, 40, 20));
    // b follows a by the standard 8 and stretches to 10 short of the right edge.
    EXPECT_EQ(frames[v.b], QRectF(58, 68, 132, 20));
}

TEST(ConstraintLayout, PlacesWidgetsFromFormats)
{
    QWidget panel;
    auto* label = new QLabel("Format:");
    auto* other = new QLabel("AAC");
    addSubviews(&panel, {label, new QObject(&panel), other});
    EXPECT_EQ(label->parentWidget(), &panel);
    EXPECT_EQ(other->parentWidget(), &panel);
    tolvan::Error error;
    ASSERT_TRUE(znt_addConstraintsWithVisualFormatsAndOptions(
        &panel, {QString("H:|-(hMargin)-[label]-[popup]-(hMargin)-|"), 2048u, QString("V:|-(>=vMargin)-[label]-(>=vMargin)-|")},
        {{"hMargin", 10}, {"vMargin", 20}}, {{"label", label}, {"popup", other}}, &error))
        << error.message.toStdString();
    panel.resize(300, 80);
    panel.layout()->activate();
    panel.layout()->setGeometry(panel.rect());
    EXPECT_EQ(label->x(), 10);
    EXPECT_EQ(other->x(), label->geometry().right() + 1 + 8);
    EXPECT_EQ(other->geometry().right() + 1, 290);
    EXPECT_GE(label->y(), 20);
    EXPECT_EQ(label->y(), other->y());  // same font, baselines aligned
    EXPECT_FALSE(znt_addConstraintsWithVisualFormatsAndOptions(&panel, {QString("H:[nobody]")}, {}, {}));
}
