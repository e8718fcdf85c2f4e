#pragma once
// Pictures of the screen player: "--page screen_player" (the home tab playing the demo phone's
// screen) and "--dialog screen_fullscreen" (the full-screen viewer, turned left, its bars shown).
void RegisterScreenScreenshots();
