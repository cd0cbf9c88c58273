"""Every injected fault: calls end within their bound, the server keeps
answering, outcomes follow the relay, and no unexpected error appears."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import fault_campaign  # noqa: E402


class FaultCampaign(unittest.TestCase):
    def test_every_fault(self):
        for row in fault_campaign.run_campaign():
            with self.subTest(fault=row["fault"]):
                self.assertEqual(row["errors"], [])
                self.assertTrue(row["alive"])
                self.assertLessEqual(row["worst_ratio"], 1.0, f"longest call {row['longest_ms']:.0f} ms")
                self.assertTrue(row["outcome_ok"], row)


if __name__ == "__main__":
    unittest.main()
