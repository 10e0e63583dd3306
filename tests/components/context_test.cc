// Typed values by id: declarations, the reserved ids, and the forwarding
// queries to a linked object.
#include <gtest/gtest.h>

#include "tests/components/fixtures.h"

namespace syv {
namespace {

TEST(EvaluationContext, DeclarationsTakeConsecutiveIdsWhateverTheirTypes) {
  EvaluationContext c;
  bool found = false;
  EXPECT_EQ(c.object(kIdLinkedObject, &found), nullptr);
  EXPECT_TRUE(found);  // the reserved slot is there even when empty
  EXPECT_EQ(c.number(kIdUnitScale, &found), 0.0);
  EXPECT_FALSE(found);

  c.setNumber(40, 1.5);  // set operations do not move the next id
  EXPECT_EQ(c.addText("stem"), 0);
  EXPECT_EQ(c.addNumber(2.5), 1);
  EXPECT_EQ(c.newId(), 2);
  EXPECT_EQ(c.addCurveParameter(CurveParameter(0, 1, 0.4, 0.4, "id")), 3);
  EXPECT_EQ(c.addObject(), 4);
  EXPECT_EQ(c.number(1), 2.5);
  EXPECT_EQ(c.number(2, &found), 0.0);  // newId stores nothing
  EXPECT_FALSE(found);
  EXPECT_EQ(c.number(0, &found), 0.0);  // one map per type
  EXPECT_FALSE(found);

  c.setNodeState(Matrix4(), Matrix4(), 0.5, 1.0, 1.0, 3, 1, nullptr);
  c.clear();
  EXPECT_EQ(c.text(0, &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(c.number(kIdGrowth), 0.5);  // reserved fields survive
  EXPECT_EQ(c.addFlag(true), 0);
}

TEST(EvaluationContext, ReservedIdsIgnoreTheirMapEntriesAndForwardToTheLinkedObject) {
  EvaluationContext c;
  MeshShape shape(circles({{3, true}})), other;
  bool found = true;
  EXPECT_EQ(c.objectShape(kIdLinkedObject, &found), nullptr);
  EXPECT_FALSE(found);

  const Matrix4 own = Matrix4::translation(1, 0, 0), accumulated = Matrix4::translation(0, 2, 0);
  c.setNodeState(own, accumulated, 0.5, 0.25, 0.75, 4, 2, &shape);
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

  EXPECT_EQ(c.objectShape(kIdLinkedObject, &found), &shape.outline);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.objectMesh(kIdLinkedObject, &found), nullptr);
  EXPECT_FALSE(found);
  c.setObject(12, &shape);
  shape.solid = unitQuad();
  EXPECT_EQ(c.objectMesh(12, &found), &shape.solid);
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace syv
