#pragma once

class AppDelegate;

// Installs, into every folder's seams, the implementations of the folders around it: the panes of
// the main window, the account windows, the remote configuration, the automatic login, the push
// handler, the launch report and the location lookup of the delegate; the article pane for the
// lists; the delegate, the browser and the neighbouring pages for the pane; the shell for the
// comment and account windows. Called once by main before start-up runs.
void installProgramWiring(AppDelegate& delegate);

// The program on the application object main made: the delegate and its wiring, start-up once
// the event loop runs, the loop until closing the main window ends it, then what is still queued
// for the main thread. Returns the loop's status.
int runProgram();
