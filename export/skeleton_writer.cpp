#include "export/skeleton_writer.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "export/background_worker.h"
#include "export/finite_values.h"
#include "smd/number_format.h"
#include "export/batch_pipeline.h"
#include "export/pose_batch.h"

namespace kw {

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

Matrix3 WorldWithoutScale(SceneNode* node, int tick) {
  Matrix3 m = node->GetHostNode()->GetNodeTransform(tick);
  m.NoScale();
  return m;
}

}  // namespace

void WriteSkeleton(const SectionInput& input) {
  TextStream& out = input.smd;
  const std::vector<std::unique_ptr<NodeRecord>>& nodes = input.nodes.Nodes();
  const int ticksPerFrame = input.ticksPerFrame;
  const int startFrame = input.options.startFrame;
  const int endFrame = input.options.endFrame;
  out.Put("skeleton\n");

  // Ticks are int32 in the scene; the walk runs in 64 bits so that neither a
  // product nor the step past the last tick can overflow.
  std::int64_t first = 0;
  std::int64_t last = 0;
  if (input.options.exportSequence) {
    if (ticksPerFrame <= 0) {
      input.warnings.Report(kw::WarningKind::kBadTicksPerFrame,
                            "The scene's ticks per frame (%d) must be a positive number.\n"
                            "The skeleton holds no poses.",
                            ticksPerFrame);
      out.Put("end\n");
      return;
    }
    // The frames whose first tick the scene can hold; division truncates
    // toward zero, so both bounds stay inside.
    const int lowest = INT_MIN / ticksPerFrame;
    const int highest = INT_MAX / ticksPerFrame;
    const int from = startFrame < lowest ? lowest : (startFrame > highest ? highest : startFrame);
    const int to = endFrame < lowest ? lowest : (endFrame > highest ? highest : endFrame);
    if (from != startFrame || to != endFrame) {
      input.warnings.Report(
          kw::WarningKind::kFramesOutOfTime,
          "Frames %d to %d reach past the time the scene can hold (%d ticks per frame).\n"
          "Only frames %d to %d were exported.",
          startFrame, endFrame, ticksPerFrame, from, to);
    }
    first = static_cast<std::int64_t>(from) * ticksPerFrame;
    last = static_cast<std::int64_t>(to) * ticksPerFrame;
  }
  // A reference export writes the one pose at tick 0 whatever the step.
  const std::int64_t step = ticksPerFrame > 0 ? ticksPerFrame : 1;

  // What each line needs besides the pose, worked out once. A registered
  // parent comes before its children, so its transform is asked of the host
  // only once a tick.
  std::vector<PoseNode> plan(nodes.size());
  const int firstIndex = nodes.empty() ? 0 : nodes.front()->index;
  for (std::size_t k = 0; k < nodes.size(); ++k) {
    const NodeRecord& record = *nodes[k];
    PoseNode& node = plan[k];
    node.indexText = Int3Text(record.index);
    node.hasParent = record.parentNode != nullptr;
    const std::size_t p = static_cast<std::size_t>(record.parentIndex - firstIndex);
    node.parentListed = node.hasParent && record.parentIndex >= firstIndex && p < k &&
                        nodes[p]->node == record.parentNode;
    node.parentAt = node.parentListed ? p : 0;
    node.mirroredParent = record.mirroredParent;
  }

  const std::uint64_t poses =
      last >= first ? static_cast<std::uint64_t>((last - first) / step) + 1 : 0;
  std::unique_ptr<BackgroundWorker> worker;
  if (poses > PoseBatch(plan).Capacity()) {
    worker = BackgroundWorker::StartIfPossible();
  }
  BatchPipeline<PoseBatch> pipeline(out, worker.get(), PoseBatch(plan), PoseBatch(plan));

  std::uint64_t pose = 0;
  const Matrix3 noParent;
  // A transform that is not finite makes a pose of NaN; said once per node.
  std::vector<bool> toldNotFinite(nodes.size());
  auto checkFinite = [&](std::size_t k, const Matrix3& world, int tick) {
    if (toldNotFinite[k] || kw::IsFinite(world)) return;
    toldNotFinite[k] = true;
    input.warnings.Report(kw::WarningKind::kNonFinite,
                          "The transform of node \"%s\" at frame %lld is not a finite number "
                          "(NaN or infinity); its pose is not a number either.",
                          nodes[k]->name ? nodes[k]->name : "",
                          static_cast<long long>(tick / step));
  };
  auto writePose = [&](int tick) {
    PoseBatch& batch = pipeline.Current();
    batch.StartPose(pose++);
    for (std::size_t k = 0; k < nodes.size(); ++k) {
      const NodeRecord* record = nodes[k].get();
      const Matrix3 world = WorldWithoutScale(record->node, tick);
      checkFinite(k, world, tick);
      if (batch.NeedsParentWorld(k)) {
        const Matrix3 parentWorld = WorldWithoutScale(record->parentNode, tick);
        checkFinite(k, parentWorld, tick);
        batch.Add(world, parentWorld);
      } else {
        batch.Add(world, noParent);
      }
    }
    if (batch.Full()) pipeline.Ship();
  };

  if (!input.options.reverseSequence) {
    for (std::int64_t t = first; t <= last && !out.Failed(); t += step) {
      writePose(static_cast<int>(t));
    }
  } else {
    for (std::int64_t t = last; t >= first && !out.Failed(); t -= step) {
      writePose(static_cast<int>(t));
    }
  }
  pipeline.Finish();
  out.Put("end\n");
}

}  // namespace kw
