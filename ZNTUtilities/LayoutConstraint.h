#pragma once
// Layout constraints: records of "first.attribute relation multiplier x
// second.attribute + constant", one-line makers for the common ones, a parser
// for the visual format the windows use, and a small solver. Items are
// objects (views); a view's superview is its parent. Coordinates are y down.

#include "platform/foundation/Error.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <variant>

enum class LayoutAttribute { notAnAttribute = 0, left = 1, right, top, bottom, leading, trailing, width, height, centerX, centerY, baseline };
enum class LayoutRelation { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };

// Format options: align every view of a format on an attribute.
constexpr unsigned layoutFormatAlignAll(LayoutAttribute attribute) { return 1u << unsigned(attribute); }

struct LayoutConstraint {
    QObject* firstItem = nullptr;
    LayoutAttribute firstAttribute = LayoutAttribute::notAnAttribute;
    LayoutRelation relation = LayoutRelation::equal;
    QObject* secondItem = nullptr;
    LayoutAttribute secondAttribute = LayoutAttribute::notAnAttribute;
    qreal multiplier = 1.0;
    qreal constant = 0;

    bool operator==(const LayoutConstraint&) const = default;
};

// An item of a format list: a placeholder, a constraint, constraints, a
// visual format, or the options number of the format before it.
using LayoutItem = std::variant<std::monostate, LayoutConstraint, QList<LayoutConstraint>, QString, unsigned>;

namespace LayoutConstraints {

LayoutConstraint constraintHorizontallyCenteringView(QObject* view, QObject* parent);
LayoutConstraint constraintVerticallyCenteringView(QObject* view, QObject* parent);
LayoutConstraint constraintPlacingView(QObject* view, QObject* belowView, qreal spacing);
LayoutConstraint constraintWithViewFixedWidth(QObject* view, qreal width);
LayoutConstraint constraintWithViewFixedHeight(QObject* view, qreal height);
// Centre a view in its superview; none (and the error) for a view without one.
std::optional<LayoutConstraint> horizontallyCenterView(QObject* view, tolvan::Error* error = nullptr);
std::optional<LayoutConstraint> verticallyCenterView(QObject* view, tolvan::Error* error = nullptr);
std::optional<QList<LayoutConstraint>> horizontallyCenterViewsInSuperviews(const QList<QObject*>& views,
                                                                           tolvan::Error* error = nullptr);

// The constraints of one visual format, e.g. "H:|-(hMargin)-[label]-[popup]-(hMargin)-|";
// metrics map names to numbers, views map names to objects. None, with a
// readable error, for a malformed format or an unknown name.
std::optional<QList<LayoutConstraint>> constraintsWithVisualFormat(const QString& format, unsigned options,
                                                                   const QVariantMap& metrics,
                                                                   const QHash<QString, QObject*>& views,
                                                                   tolvan::Error* error = nullptr);
// Walks the list: placeholders are skipped, constraints taken as they are, a
// format takes the options number right after it (else 0); an options number
// anywhere else is ignored. None at the first format that fails.
std::optional<QList<LayoutConstraint>> constraintsWithVisualFormatsAndOptions(const QList<LayoutItem>& items,
                                                                              const QVariantMap& metrics,
                                                                              const QHash<QString, QObject*>& views,
                                                                              tolvan::Error* error = nullptr);

// Frames for every item other than the container, satisfying the
// constraints as far as they allow; items keep their intrinsic size where
// nothing fixes it. Inside a container of the given size, origin at 0.
struct SolverItems {
    std::function<QSizeF(QObject*)> intrinsicSize;
    std::function<qreal(QObject*)> baselineOffset;  // from the item's top
};
QHash<QObject*, QRectF> solve(const QList<LayoutConstraint>& constraints, QObject* container, QSizeF size,
                              const SolverItems& items);

}  // namespace LayoutConstraints
