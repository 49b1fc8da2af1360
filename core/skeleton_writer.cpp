#include "core/skeleton_writer.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/kestrelworks.h"

float WrapSkeletonAngle(float angle) {
  if (!std::isfinite(angle)) return angle;
  // Far from zero a float step of 2pi rounds away to nothing; fmod then does
  // what the subtraction no longer can, instead of looping for ever.
  while (angle >= kSkeletonTwoPi) {
    const float next = angle - kSkeletonTwoPi;
    if (next == angle) return std::fmod(angle, kSkeletonTwoPi);
    angle = next;
  }
  while (angle <= -kSkeletonTwoPi) {
    const float next = angle + kSkeletonTwoPi;
    if (next == angle) return std::fmod(angle, kSkeletonTwoPi);
    angle = next;
  }
  return angle;
}

namespace {

// "%d" of a pose counter, which with one tick per frame can pass INT_MAX.
void PutCounter(TextStream& out, std::uint64_t value) {
  char digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10u);
    value /= 10u;
  } while (value != 0);
  char text[20];
  for (std::size_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  out.Put(std::string_view(text, count));
}

Matrix3 WorldWithoutScale(SceneNode* node, int tick) {
  Matrix3 m = node->GetHostNode()->GetNodeTransform(tick);
  m.NoScale();
  return m;
}

}  // namespace

void Kestrelworks::WriteNodes() {
  smdFile->Put("nodes\n");
  for (const std::unique_ptr<NodeRecord>& record : nodes) {
    smdFile->PutInt3(record->index);
    smdFile->Put(" \"");
    smdFile->Put(record->name ? std::string_view(record->name) : std::string_view());
    smdFile->Put("\" ");
    smdFile->PutInt3(record->parentIndex);
    smdFile->Put('\n');
  }
  smdFile->Put("end\n");
}

void Kestrelworks::WriteSkeleton() {
  smdFile->Put("skeleton\n");

  // Ticks are int32 in the scene; the walk runs in 64 bits so that neither a
  // product nor the step past the last tick can overflow.
  std::int64_t first = 0;
  std::int64_t last = 0;
  if (exportSequence != 0) {
    if (ticksPerFrame <= 0) {
      ReportWarning("The scene's ticks per frame (%d) must be a positive number.\n"
                    "The skeleton holds no poses.",
                    ticksPerFrame);
      smdFile->Put("end\n");
      return;
    }
    // The frames whose first tick the scene can hold; division truncates
    // toward zero, so both bounds stay inside.
    const int lowest = INT_MIN / ticksPerFrame;
    const int highest = INT_MAX / ticksPerFrame;
    const int from = startFrame < lowest ? lowest : (startFrame > highest ? highest : startFrame);
    const int to = endFrame < lowest ? lowest : (endFrame > highest ? highest : endFrame);
    if (from != startFrame || to != endFrame) {
      ReportWarning("Frames %d to %d reach past the time the scene can hold (%d ticks per frame).\n"
                    "Only frames %d to %d were exported.",
                    startFrame, endFrame, ticksPerFrame, from, to);
    }
    first = static_cast<std::int64_t>(from) * ticksPerFrame;
    last = static_cast<std::int64_t>(to) * ticksPerFrame;
  }
  // A reference export writes the one pose at tick 0 whatever the step.
  const std::int64_t step = ticksPerFrame > 0 ? ticksPerFrame : 1;

  Matrix3 identity;
  identity.Zero();
  identity.NoRot();
  identity.NoScale();
  identity.NoTrans();
  const Matrix3 worldInverse = Inverse(identity);

  // This tick's transforms by list position: a registered parent comes
  // before its children, so its transform is asked of the host only once.
  std::vector<Matrix3> world(nodes.size());
  const int firstIndex = nodes.empty() ? 0 : nodes.front()->index;

  std::uint64_t pose = 0;
  auto writePose = [&](int tick) {
    smdFile->Put("time ");
    PutCounter(*smdFile, pose++);
    smdFile->Put('\n');
    for (std::size_t k = 0; k < nodes.size(); ++k) {
      const NodeRecord* record = nodes[k].get();
      world[k] = WorldWithoutScale(record->node, tick);
      Matrix3 parentInverse = worldInverse;
      if (record->parentNode) {
        const std::size_t p = static_cast<std::size_t>(record->parentIndex - firstIndex);
        const bool known = record->parentIndex >= firstIndex && p < k &&
                           nodes[p]->node == record->parentNode;
        parentInverse =
            Inverse(known ? world[p] : WorldWithoutScale(record->parentNode, tick));
      }
      const Matrix3 local = world[k] * parentInverse;

      Point3 position = local.GetTrans();
      if (record->parentNode && record->mirroredParent) {
        position.x *= -1.0f;
        position.y *= -1.0f;
        position.z *= -1.0f;
      }
      float angles[3];
      QuatToEuler(EssentialRotation(local), angles);

      // "+ 0.0f" turns a negative zero into zero: the Euler conversion hands
      // one back for an unturned axis, a mirror for a zero coordinate, and
      // "-0.000000" would make equal poses read differently.
      const float values[6] = {position.x, position.y, position.z, WrapSkeletonAngle(angles[0]),
                               WrapSkeletonAngle(angles[1]), WrapSkeletonAngle(angles[2])};
      smdFile->PutInt3(record->index);
      for (float value : values) {
        smdFile->Put(' ');
        smdFile->PutFixed(value + 0.0f);
      }
      smdFile->Put('\n');
    }
  };

  if (reverseSequence == 0) {
    for (std::int64_t t = first; t <= last; t += step) writePose(static_cast<int>(t));
  } else {
    for (std::int64_t t = last; t >= first; t -= step) writePose(static_cast<int>(t));
  }
  smdFile->Put("end\n");
}
