// Typed values by id: declarations, set and get, the reserved ids, and the
// forwarding queries to a linked object.
#include <gtest/gtest.h>

#include "core/components/evaluation_context.h"

namespace syv {
namespace {

struct LinkedShape : SceneObject {
  std::string name() const override { return "shape"; }
  Matrix4 transform() const override { return Matrix4(); }
  const Outline* shape() const override { return withOutline ? &outline : nullptr; }
  const Mesh* mesh() const override { return withMesh ? &solid : nullptr; }
  bool withOutline = true, withMesh = false;
  Outline outline;
  Mesh solid;
};

TEST(EvaluationContext, NewContextAnswersFromItsReservedFields) {
  EvaluationContext c;
  bool found = false;
  EXPECT_EQ(c.number(kIdGrowth, &found), 1.0);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.number(kIdThickness, &found), 1.0);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.number(kIdDensity, &found), 1.0);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.number(kIdUnitScale, &found), 0.0);
  EXPECT_FALSE(found);
  EXPECT_EQ(c.integer(kIdIteration, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.integer(kIdInteger6002, &found), 1);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.matrix(7, &found), Matrix4());
  EXPECT_FALSE(found);
  EXPECT_EQ(c.matrix(kIdWorldToObject, &found), Matrix4());
  EXPECT_TRUE(found);
  EXPECT_EQ(c.object(kIdLinkedObject, &found), nullptr);
  EXPECT_TRUE(found);  // the reserved slot is always there, even empty
  EXPECT_EQ(c.object(3, &found), nullptr);
  EXPECT_FALSE(found);
  EXPECT_EQ(c.text(0, &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(c.curveParameter(0, &found), nullptr);
  EXPECT_FALSE(found);
  EXPECT_FALSE(c.flag(0, &found));
  EXPECT_FALSE(found);
  EXPECT_EQ(c.vector(0, &found), Vector3());
  EXPECT_FALSE(found);

  EXPECT_TRUE(c.setNumber(kIdUnitScale, 100.0));
  EXPECT_EQ(c.number(kIdUnitScale, &found), 100.0);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.number(kIdUnitScale), 100.0);  // the found flag is optional
}

TEST(EvaluationContext, DeclarationsTakeConsecutiveIdsWhateverTheirTypes) {
  EvaluationContext c;
  c.setNumber(40, 1.5);  // set operations do not move the next id
  EXPECT_EQ(c.addText("stem"), 0);
  EXPECT_EQ(c.addNumber(2.5), 1);
  EXPECT_EQ(c.addVector({1, 2, 3}), 2);
  EXPECT_EQ(c.newId(), 3);
  EXPECT_EQ(c.addInteger(-4), 4);
  EXPECT_EQ(c.addFlag(true), 5);
  EXPECT_EQ(c.addObject(), 6);
  EXPECT_EQ(c.addCurveParameter(CurveParameter(0, 1, 0.4, 0.4, "id")), 7);

  bool found = false;
  EXPECT_EQ(c.text(0), "stem");
  EXPECT_EQ(c.number(1), 2.5);
  EXPECT_EQ(c.vector(2), Vector3(1, 2, 3));
  EXPECT_EQ(c.number(3, &found), 0.0);  // newId stores nothing
  EXPECT_FALSE(found);
  EXPECT_EQ(c.integer(4), -4);
  EXPECT_TRUE(c.flag(5));
  EXPECT_EQ(c.object(6, &found), nullptr);
  EXPECT_TRUE(found);
  ASSERT_NE(c.curveParameter(7), nullptr);
  EXPECT_DOUBLE_EQ(c.curveParameter(7)->evaluate(0.5), 0.4);
  // Ids are per type: the text under 0 is not a number.
  EXPECT_EQ(c.number(0, &found), 0.0);
  EXPECT_FALSE(found);

  // Set operations overwrite; clear empties the maps and restarts the ids.
  EXPECT_TRUE(c.setText(0, "root"));
  EXPECT_EQ(c.text(0), "root");
  c.setNodeState(Matrix4(), Matrix4(), 0, 0.5, 1.0, 1.0, 3, 1, nullptr);
  c.clear();
  EXPECT_EQ(c.text(0, &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(c.number(40, &found), 0.0);
  EXPECT_FALSE(found);
  EXPECT_EQ(c.number(kIdGrowth), 0.5);  // reserved fields survive
  EXPECT_EQ(c.integer(kIdIteration), 3);
  EXPECT_EQ(c.addFlag(false), 0);
}

TEST(EvaluationContext, StoredCurveIsACopy) {
  EvaluationContext c;
  CurveParameter curve(0, 1, 0.25, 0.25, "id");
  const int32_t id = c.addCurveParameter(curve);
  curve = CurveParameter(0, 1, 0.75, 0.75, "id");
  EXPECT_DOUBLE_EQ(c.curveParameter(id)->evaluate(0.5), 0.25);
  c.setCurveParameter(id, curve);
  EXPECT_DOUBLE_EQ(c.curveParameter(id)->evaluate(0.5), 0.75);
}

TEST(EvaluationContext, ReservedIdsIgnoreTheirMapEntries) {
  EvaluationContext c;
  LinkedShape shape, other;
  const Matrix4 own = Matrix4::translation(1, 0, 0);
  const Matrix4 accumulated = Matrix4::translation(0, 2, 0);
  c.setNodeState(own, accumulated, 9, 0.5, 0.25, 0.75, 4, 2, &shape);

  EXPECT_TRUE(c.setNumber(kIdGrowth, 5.0));
  EXPECT_TRUE(c.setInteger(kIdIteration, 11));
  EXPECT_TRUE(c.setObject(kIdLinkedObject, &other));
  EXPECT_EQ(c.number(kIdGrowth), 0.5);
  EXPECT_EQ(c.number(kIdThickness), 0.25);
  EXPECT_EQ(c.number(kIdDensity), 0.75);
  EXPECT_EQ(c.integer(kIdIteration), 4);
  EXPECT_EQ(c.integer(kIdInteger6002), 2);
  EXPECT_EQ(c.matrix(kIdParentToObject), own);
  EXPECT_EQ(c.matrix(kIdWorldToObject), accumulated);
  EXPECT_EQ(c.object(kIdLinkedObject), &shape);

  // With the node state cleared the reserved slot still answers, not the map entry.
  c.setNodeState(Matrix4(), Matrix4(), 0, 1, 1, 1, 0, 1, nullptr);
  bool found = false;
  EXPECT_EQ(c.object(kIdLinkedObject, &found), nullptr);
  EXPECT_TRUE(found);
}

TEST(EvaluationContext, ForwardingQueriesReachTheLinkedObject) {
  EvaluationContext c;
  LinkedShape shape;
  bool found = true;
  EXPECT_EQ(c.objectShape(kIdLinkedObject, &found), nullptr);
  EXPECT_FALSE(found);
  EXPECT_EQ(c.objectMesh(12, &found), nullptr);
  EXPECT_FALSE(found);

  c.setNodeState(Matrix4(), Matrix4(), 0, 1, 1, 1, 0, 1, &shape);
  EXPECT_EQ(c.objectShape(kIdLinkedObject, &found), &shape.outline);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.objectMesh(kIdLinkedObject, &found), nullptr);  // the shape has no solid
  EXPECT_FALSE(found);

  c.setObject(12, &shape);
  shape.withMesh = true;
  EXPECT_EQ(c.objectMesh(12, &found), &shape.solid);
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace syv
