#include "tools/patchserver/info_page.h"

namespace patchserver {

const char kInfoPage[] = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="UTF-8">
<title>Velmora news</title>
<style>
  body { margin: 0; padding: 32px 40px; font-family: "Segoe UI", Arial, sans-serif;
         background: #f4f6fa; color: #1a1a2e; }
  h1 { margin: 0 0 8px; font-size: 26px; color: #0f3460; }
  .note { color: #666; font-size: 13px; margin-bottom: 24px; }
  article { background: #fff; border-radius: 10px; padding: 16px 20px; margin-bottom: 14px;
            box-shadow: 0 1px 4px rgba(0, 0, 0, 0.08); }
  h2 { margin: 0 0 6px; font-size: 17px; color: #4a90d9; }
  p { margin: 0; line-height: 1.5; font-size: 14px; }
</style>
</head>
<body>
<h1>Velmora</h1>
<div class="note">Served by the demo patch server on this machine.</div>
<article>
  <h2>Patch notes</h2>
  <p>The launcher checks this server for a newer launcher and a newer game client, downloads
     what changed and verifies every file before the game starts.</p>
</article>
<article>
  <h2>Server status</h2>
  <p>All realms are online.</p>
</article>
</body>
</html>
)html";

}  // namespace patchserver
