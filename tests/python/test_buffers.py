"""compute_buffer_config and BufferPlanner."""

import pytest

import orvane_core as oc

STREAM, FILE = oc.InferenceMode.Stream, oc.InferenceMode.File
BOX = oc.Rect(0, 0, 10, 10)


def cfg(input_size, n_inputs):
    return oc.SessionConfig("m", [], 30.0, input_size, n_inputs, "face")


def buf(id, count, created_at=0.0, last_seen=0.0, roi=BOX):
    return oc.BufferMetadata(id, roi, count, created_at, last_seen)


class TestBufferConfig:
    @pytest.mark.parametrize("input_size, n_inputs, expected", [
        (40, 4, (16, 4, 150, 900, 3)),
        (48, 4, (16, 4, 150, 625, 3)),
        (112, 4, (16, 4, 114, 114, 3)),
        (128, 4, (16, 4, 87, 87, 3)),
        (40, 20, (20, 20, 150, 900, 19)),
        (40, 0, (16, 0, 150, 900, 0)),
        (0, 4, (16, 4, 150, 4294967295, 3)),
        (1, 4, (16, 4, 150, 1440036, 3)),
    ])
    def test_thresholds(self, input_size, n_inputs, expected):
        c = oc.compute_buffer_config(cfg(input_size, n_inputs))
        assert isinstance(c, oc.BufferConfig)
        assert (c.min_no_state, c.min_with_state, c.stream_max, c.file_max, c.overlap) == expected

    def test_config_must_be_a_session_config(self, buffer_config):
        with pytest.raises(TypeError, match="^argument 'config': 'BufferConfig' object cannot be "
                                            "converted to 'SessionConfig'$"):
            oc.compute_buffer_config(buffer_config)


class TestEvaluateTarget:
    @pytest.mark.parametrize("buffers, action, matched", [
        ([], oc.BufferActionType.Create, None),
        ([buf("a", 1, last_seen=5.0)], oc.BufferActionType.KeepAlive, "a"),  # exactly 5 s: not stale
        ([buf("a", 1, last_seen=4.999)], oc.BufferActionType.Create, None),
        ([buf("a", 1, last_seen=9.0, roi=oc.Rect(2, 0, 10, 10))], oc.BufferActionType.KeepAlive, "a"),
        ([buf("a", 1, last_seen=9.0, roi=oc.Rect(5, 0, 10, 10))], oc.BufferActionType.Create, None),
        ([buf("a", 1, last_seen=9.0), buf("b", 1, last_seen=9.0)], oc.BufferActionType.KeepAlive, "a"),
    ])
    def test_matching(self, planner, buffers, action, matched):
        result = planner.evaluate_target(BOX, 10.0, buffers)
        assert isinstance(result, oc.BufferAction)
        assert result.action == action and result.matched_id == matched
        if action == oc.BufferActionType.Create:
            assert (result.roi.x, result.roi.y, result.roi.width, result.roi.height) == (0, 0, 10, 10)
        else:
            assert result.roi is None

    def test_active_buffers_may_be_any_sequence(self, planner):
        assert planner.evaluate_target(BOX, 1.0, (buf("a", 1),)).matched_id == "a"

    @pytest.mark.parametrize("kwargs, argument", [
        (dict(target_roi=(0, 0, 10, 10), timestamp=0.0, active_buffers=[]), "target_roi"),
        (dict(target_roi=BOX, timestamp="0", active_buffers=[]), "timestamp"),
        (dict(target_roi=BOX, timestamp=0.0, active_buffers=[BOX]), "active_buffers"),
        (dict(target_roi=BOX, timestamp=0.0, active_buffers=buf("a", 1)), "active_buffers"),
    ])
    def test_wrong_arguments(self, planner, kwargs, argument):
        with pytest.raises(TypeError, match=f"^argument '{argument}': "):
            planner.evaluate_target(**kwargs)


class TestPoll:
    @pytest.mark.parametrize("buffers, mode, has_state, flush, command, dropped", [
        ([buf("a", 200)], STREAM, True, False, ("a", 150, 3), []),
        ([buf("a", 200)], STREAM, False, True, ("a", 200, 3), []),  # flushing caps at file_max
        ([buf("a", 500)], FILE, False, False, None, []),
        ([buf("a", 500)], FILE, False, True, ("a", 500, 3), []),
        ([buf("a", 3)], STREAM, True, False, None, []),
        ([buf("A", 50, 1.0), buf("B", 30, 2.0), buf("C", 2, 3.0)], STREAM, True, False,
         ("B", 30, 3), ["A"]),
        ([buf("old", 900, 0.0, last_seen=-10.0), buf("new", 20, 1.0)], STREAM, False, False,
         ("new", 20, 3), ["old"]),
        ([buf("old", 900, 5.0, last_seen=-10.0), buf("x", 1, 0.0)], STREAM, False, False, None,
         ["old"]),
    ])
    def test_plans(self, planner, buffers, mode, has_state, flush, command, dropped):
        plan = planner.poll(buffers, 0.0, mode, has_state, flush)
        assert isinstance(plan, oc.ExecutionPlan)
        if command is None:
            assert plan.command is None
        else:
            assert isinstance(plan.command, oc.InferenceCommand)
            assert (plan.command.buffer_id, plan.command.take_count,
                    plan.command.keep_count) == command
        assert plan.buffers_to_drop == dropped

    def test_keep_never_exceeds_take(self, buffer_config):
        buffer_config.min_with_state = 1
        plan = oc.BufferPlanner(buffer_config).poll([buf("a", 2)], 0.0, STREAM, True, False)
        assert (plan.command.take_count, plan.command.keep_count) == (2, 2)

    @pytest.mark.parametrize("kwargs, argument", [
        (dict(mode="Stream"), "mode"),
        (dict(mode=0), "mode"),
        (dict(has_state=1), "has_state"),
        (dict(flush=None), "flush"),
        (dict(current_time=None), "current_time"),
    ])
    def test_wrong_arguments(self, planner, kwargs, argument):
        args = dict(active_buffers=[], current_time=0.0, mode=STREAM, has_state=True, flush=False)
        args.update(kwargs)
        with pytest.raises(TypeError, match=f"^argument '{argument}': "):
            planner.poll(**args)
