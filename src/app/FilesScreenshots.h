#pragma once
// Pictures of the file manager: "--page files", "--page files_search", "--dialog file_replace".
void RegisterFilesScreenshots();
